// Update Chips against the simulated programmers: the ISP and ICP paths with their tick
// counts, the S/N, the chip counter, the automatic download and its bound, and the gang run.

#include <gtest/gtest.h>

#include "link/programmer_kind.h"
#include "operations/download.h"
#include "operations/update.h"
#include "sim/synthetic_firmware.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::apromJob;
using testing::LinkBench;
using testing::withSockets;
using Boxes = std::vector<std::string>;

const std::string kPassUpdated = "PASS: Chip is successfully updated !";
const std::string kPleaseDownload =
    "WARNING: Please click 'Download Programmer' to update the "
    "programming data saved in the programmer !";

TEST(UpdateSingle, IcpTicksPerStartedPageSerialNumberAndCounter) {
    for (const std::uint32_t length : {0x200u, 0x201u}) {
        SCOPED_TRACE(length);
        LinkBench bench;
        auto& device = bench.singlePort(testing::singleScenario(0xAD));
        ProgrammingJob& job = bench.job;
        apromJob(bench, length);
        testing::setSerial(job, 0x7F00, 12, 34567890);
        job.incrementLow = 5;
        job.chipCounterEnabled = true;
        job.chipCounter = 999998;
        testing::downloaded(bench, &device);

        ASSERT_TRUE(chipCounterAllowsUpdate(job, bench.op));
        updateSingleWorker(bench.session);

        EXPECT_EQ(bench.op.boxes(),
                  Boxes{kPassUpdated + "\n\n( S/N='00000012,34567890' at address 0x7F00 )"});
        EXPECT_EQ(bench.op.stepCount(), length == 0x200 ? 4 : 6);
        EXPECT_EQ(job.serialLow, 34567895u);
        EXPECT_EQ(job.chipCounter, 999999u);
        testing::settle(bench);
        const auto chip = device.programmer()->state().chip;
        EXPECT_TRUE(std::equal(chip.aprom.begin(), chip.aprom.begin() + length,
                               job.imageAprom.data.begin()));
        EXPECT_EQ(testing::slice(chip.aprom, 0x7F00),
                  (std::vector<std::uint8_t>{0, 0, 0, 0x12, 0x34, 0x56, 0x78, 0x90}));
        EXPECT_TRUE(device.errors().empty()) << device.errors().front();
        // The limit is reached now: the next command refuses before the link.
        EXPECT_FALSE(chipCounterAllowsUpdate(job, bench.op));
        EXPECT_EQ(bench.op.boxes().back(),
                  "WARNING: Chip Counter reaches '999,999' !\n\nPlease reset the Chip Counter.");
        // Counting down, the limit is zero.
        job.chipCounterDown = true;
        job.chipCounter = 1;
        EXPECT_TRUE(chipCounterAllowsUpdate(job, bench.op));
        job.chipCounter = 0;
        EXPECT_FALSE(chipCounterAllowsUpdate(job, bench.op));
        EXPECT_EQ(bench.op.boxes().back(),
                  "WARNING: Chip Counter reaches '000,000' !\n\nPlease reset the Chip Counter.");
    }
}

TEST(UpdateSingle, IspCodeProtectionQuestionAndFullPageErase) {
    LinkBench bench;
    sim::SimChip locked;
    locked.locked = true;
    auto& device = bench.singlePort(withSockets(testing::singleScenario(0xA5), {locked}));
    ProgrammingJob& job = bench.job;
    bench.selectPart(38);  // 64 KB APROM, erased on its own: 256 pages, reported as 0
    job.updateAprom = job.updateConfig = true;
    testing::setImage(job.imageAprom, ImageRegion::Aprom, 0x1000, 2, "isp.bin");
    testing::finishImages(job);
    testing::downloaded(bench, &device);

    updateSingleWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(), (Boxes{"WARNING: APROM will be erased because code protection is "
                                       "changed from \"Enable\" to \"Disable\" !",
                                       kPassUpdated}));
    EXPECT_EQ(bench.op.stepCount(), 256 + 256 + 2 * 16);
    testing::settle(bench);
    const auto chip = device.programmer()->state().chip;
    EXPECT_FALSE(chip.locked);
    EXPECT_EQ(chip.config, job.configBytes);
    EXPECT_TRUE(device.errors().empty()) << device.errors().front();
}

TEST(UpdateSingle, LockedDataFlashFailsAndLeavesTheCounter) {
    sim::SimChip chip;
    chip.locked = true;
    LinkBench bench;
    auto& device = bench.singlePort(withSockets(testing::singleScenario(0xAD), {chip}));
    apromJob(bench, 0x300);
    bench.job.updateDataFlash = true;
    testing::setImage(bench.job.imageDataFlash, ImageRegion::DataFlash, 0x100, 6, "d.bin");
    testing::finishImages(bench.job);
    bench.job.chipCounterEnabled = true;
    testing::downloaded(bench, &device);

    updateSingleWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(),
              Boxes{"FAIL: Update DataFlash error !\nCheck if DataFlash was locked."});
    EXPECT_EQ(bench.job.chipCounter, 0u);
    EXPECT_TRUE(device.errors().empty()) << device.errors().front();
}

TEST(UpdateSingle, UsedUpUsageCountProgramsNothing) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::singleScenario(0xAD));
    apromJob(bench, 0x300);
    bench.job.usageLimitEnabled = true;
    bench.job.usageTimesLow = 1;
    testing::downloaded(bench, &device);

    updateSingleWorker(bench.session);
    updateSingleWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(), (Boxes{kPassUpdated, "FAIL: Update APROM error !"}));
    testing::settle(bench);
    EXPECT_EQ(device.programmer()->state().chipsProgrammed, 1);
}

// The stop byte after the first differing field: a programmer that listens for it between
// the fields, and one that sends its whole report first and leaves the rest on the line
// while the host reconnects; and an erased programmer that reports 0xFF throughout and then
// waits for a decision. Each ends in one download and a PASS.
TEST(UpdateSingle, AnotherStoredNameOrNothingStoredDownloadsOnceThenUpdates) {
    for (const auto& [whole, erased] : {std::pair{false, false}, {true, false}, {true, true}}) {
        SCOPED_TRACE(std::to_string(whole) + std::to_string(erased));
        LinkBench bench;
        sim::Scenario scenario = testing::singleScenario(0xAD);
        scenario.wholeReport = whole;
        auto& device = bench.singlePort(scenario);
        apromJob(bench, 0x300);
        if (!erased)
            testing::downloaded(bench, &device);
        bench.job.imageAprom.shownName = "renamed.bin";  // same sum, same time

        updateSingleWorker(bench.session);

        EXPECT_EQ(bench.op.boxes(), Boxes{kPassUpdated});
        EXPECT_EQ(bench.op.eventCount("status: Clear Programmer's Storage..."), 1);
        testing::settle(bench);
        const auto state = device.programmer()->state();
        EXPECT_EQ(state.setup.aprom.name, "renamed.bin");
        EXPECT_EQ(state.chipsProgrammed, 1);
        EXPECT_FALSE(bench.job.downloadThenUpdate);
        EXPECT_TRUE(device.errors().empty()) << device.errors().front();
    }
}

// A programmer that keeps reporting nothing stored, and one whose firmware reload never
// takes: each gets one automatic download, then the FAIL box.
TEST(UpdateSingle, OneAutomaticDownloadPerCommand) {
    for (const bool firmware : {false, true}) {
        SCOPED_TRACE(firmware ? "firmware" : "storage");
        LinkBench bench;
        if (firmware) {
            sim::writeSyntheticFirmwareFiles(bench.firmwareDir.path(), 0x0600);
            bench.singlePort(testing::singleScenario(0xAD, 0x0600));
        } else {
            bench.singlePort([](sim::DeviceLine& line) {
                auto programmer = std::make_unique<sim::SimProgrammer>(line, 0xAD, 0x0619);
                programmer->onCommand(command::kUpdateChips, [&line] {
                    line.reply(kSingleAck);
                    line.reply(0x01);
                });
                return programmer;
            });
        }
        apromJob(bench, 0x300);

        updateSingleWorker(bench.session);

        EXPECT_EQ(bench.op.boxes(), Boxes{"FAIL: " + std::string(kStillAnotherSetup)});
        EXPECT_EQ(bench.op.eventCount("status: Clear Programmer's Storage..."), 1);
        EXPECT_FALSE(bench.job.downloadThenUpdate);
    }
}

// ---- Gang ------------------------------------------------------------------------------

// An ICP gang job for part 100 with S/N programming from 1,00000098 in steps of 1.
void gangJob(LinkBench& bench) {
    apromJob(bench, 0x200, 100, true);
    testing::setSerial(bench.job, 0x700, 1, 98);
    bench.job.chipCounterEnabled = true;
    bench.job.chipCounter = 10;
}

TEST(UpdateGang, AllPassWithSerialNumbers) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::gangScenario());
    gangJob(bench);
    bench.job.chipCounter = 999997;
    testing::downloaded(bench, &device);

    updateGangWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(), Boxes{"PASS: All chips are successfully programmed !\n\n"
                                      "( #1's S/N='00000001,00000098' at address 0x700 )\n"
                                      "( #2's S/N='00000001,00000099' at address 0x700 )\n"
                                      "( #3's S/N='00000001,00000100' at address 0x700 )\n"
                                      "( #4's S/N='00000001,00000101' at address 0x700 )"});
    EXPECT_EQ(bench.job.serialLow, 102u);
    EXPECT_EQ(bench.job.chipCounter, 999999u) << "the counter stops at its end";
    EXPECT_EQ(bench.job.gangPassCount, 4u);
    const auto chip = device.gangProgrammer()->unit(3).state().chip;
    EXPECT_EQ(testing::slice(chip.aprom, 0x700),
              (std::vector<std::uint8_t>{0, 0, 0, 0x01, 0, 0, 0x01, 0x00}));
    EXPECT_TRUE(device.errors().empty()) << device.errors().front();
}

// Each failure with the chip counter and S/N it leaves: a failed socket keeps its S/N
// (result 0x38), a run with no chip passed gives all four back.
TEST(UpdateGang, FailuresAndWhatTheyGiveBack) {
    sim::SimChip wrong;
    wrong.wrongDeviceId = true;
    sim::SimChip absent;
    absent.present = false;
    const std::vector<sim::SimChip> none(4, absent);
    struct Case {
        std::string box;
        std::vector<sim::SimChip> chips;
        bool downloaded;
        bool erasedUnitReportsWhole;  // unit #1 holds nothing and reports before the stop
        std::uint32_t gangRunMs;
        std::uint32_t counter;
        std::uint32_t serialLow;
    };
    const std::vector<Case> cases = {
        {"FAIL: Failed chips:  #1  ", {wrong}, true, false, 0, 13, 102},
        {"FAIL: Failed chips:  #1  #2  #3  #4  ", none, true, false, 0, 10, 98},
        {kPleaseDownload, {}, false, false, 0, 10, 98},
        {kPleaseDownload, {}, true, true, 0, 10, 98},
        {"WARNING: Timeout !", {}, true, false, 41000, 10, 102},  // past 200 polls of 200 ms
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        LinkBench bench;
        sim::Scenario scenario = withSockets(testing::gangScenario(), c.chips);
        scenario.units[0].wholeReport = c.erasedUnitReportsWhole;
        if (c.gangRunMs != 0)
            scenario.gangRunMs = c.gangRunMs;
        auto& device = bench.singlePort(scenario);
        gangJob(bench);
        if (c.downloaded)
            testing::downloaded(bench, &device);
        if (c.erasedUnitReportsWhole)
            device.gangProgrammer()->unit(1).withState(
                [](sim::ProgrammerState& state) { state.setup.present = false; });

        updateGangWorker(bench.session);

        EXPECT_EQ(bench.op.boxes(), Boxes{c.box});
        EXPECT_EQ(bench.job.chipCounter, c.counter);
        EXPECT_EQ(bench.job.serialHigh, 1u);
        EXPECT_EQ(bench.job.serialLow, c.serialLow);
        EXPECT_EQ(device.line().pendingToHost(), 0u) << "the whole report was read";
        if (c.gangRunMs != 0) {
            EXPECT_EQ(bench.link.timeouts().readTotalConstant, 1000u);
            continue;  // the gang is still running
        }
        testing::settle(bench);
        EXPECT_TRUE(device.errors().empty()) << device.errors().front();
    }
}

TEST(UpdateGang, VerifyOnlyNeedsItsOwnDownloadAndSendsNoSerialNumbers) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::gangScenario());
    gangJob(bench);
    testing::downloaded(bench, &device);
    updateGangWorker(bench.session);  // programs the four chips
    bench.op.clear();

    bench.job.gangVerifyOnly = true;
    updateGangWorker(bench.session);
    EXPECT_EQ(bench.op.boxes(), Boxes{kPleaseDownload});

    testing::downloaded(bench, &device);
    const std::uint32_t serialLow = bench.job.serialLow;
    updateGangWorker(bench.session);
    EXPECT_EQ(bench.op.boxes(), Boxes{"PASS: All chips are successfully verified !"});
    EXPECT_EQ(bench.job.serialLow, serialLow);
    EXPECT_FALSE(device.gangProgrammer()->unit(1).state().setup.serial.has_value());
}

}  // namespace
}  // namespace tarnel

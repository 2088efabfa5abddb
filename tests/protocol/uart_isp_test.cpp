// The UART boot-loader flow against the simulated boot loader on virtual time: block splits,
// the S/N placed in the image, baud codes and the detection window, the code-protection
// warning, the production loop's ends, and the failure texts.

#include <gtest/gtest.h>

#include <thread>

#include "isp/uart_isp.h"
#include "sim/sim_bootloader.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Boxes = std::vector<std::string>;

const std::string kPass = "PASS: Chip is successfully updated !";
const std::string kPortFile = "GUI_ComPortISP.LOG";

sim::BootChip chipOf(std::uint32_t part, std::uint8_t baudCode = 0x73) {
    sim::BootChip chip;
    chip.chip.partIndex = part;
    chip.baudCode = baudCode;
    chip.resetAfterProbes = 5;
    return chip;
}

sim::Scenario bootScenario(std::vector<sim::BootChip> chips, std::vector<sim::Fault> faults = {}) {
    sim::Scenario scenario;
    scenario.device = sim::Scenario::Device::Bootloader;
    scenario.bootChips = std::move(chips);
    scenario.faults = std::move(faults);
    return scenario;
}

// An ISP-by-COM-port job on one port with a boot loader behind it, the port list searched.
struct IspBench {
    // `what` is a scenario or a function that makes the device.
    template <class Device>
    explicit IspBench(const Device& what, std::uint32_t part = 2)
        : device(&bench.singlePort(what)) {
        ProgrammingJob& job = bench.job;
        job.workDirectory = dir.path();
        job.programmerType = kTypeIspByCom;
        job.partIndex = part;
        job.refreshDerivedState();
        isp.searchIspPorts();
    }
    void aprom(std::uint32_t length) {
        bench.job.updateAprom = true;
        testing::setImage(bench.job.imageAprom, ImageRegion::Aprom, length, 7, "app.bin");
    }
    sim::SimBootloader& loader() { return dynamic_cast<sim::SimBootloader&>(device->device()); }
    // The counts of the APROM blocks on the wire, from the host's writes.
    std::vector<int> apromBlocks() {
        const auto writes = device->line().hostWrites();
        std::vector<int> counts;
        std::size_t i = 0;
        while (i < writes.size() && writes[i] != isp::kEraseAprom)
            ++i;
        for (++i; i + 1 < writes.size() && writes[i] == isp::kProgramAprom;) {
            counts.push_back(writes[i + 1]);
            i += 2 + writes[i + 1] + 2;
        }
        return counts;
    }

    LinkBench bench;
    test::ScratchDir dir;
    UartIsp isp{bench.job, bench.link, bench.op, bench.clock};
    sim::LoopbackDevice* device;
};

TEST(UartIsp, BlockSplitsWriteTheImageAndRememberThePort) {
    for (const auto& [length, blocks] : {std::pair{300u, std::vector<int>{128, 128, 44}},
                                         std::pair{256u, std::vector<int>{128, 128}}}) {
        SCOPED_TRACE(length);
        IspBench t(bootScenario({chipOf(2)}));
        t.aprom(length);
        t.isp.ispUpdateChip();
        // The boot loader moves on to its next chip after its last answer: let it finish.
        t.device->stop();

        EXPECT_EQ(t.bench.op.boxes(), Boxes{kPass});
        EXPECT_EQ(t.apromBlocks(), blocks);
        const auto chip = t.loader().chips().front();
        EXPECT_TRUE(std::equal(t.bench.job.imageAprom.data.begin(),
                               t.bench.job.imageAprom.data.begin() + length, chip.aprom.begin()));
        EXPECT_EQ(chip.aprom[length], 0xFF);
        EXPECT_EQ(t.loader().chipsDone(), 1) << "the update ends with 0xC3";
        EXPECT_FALSE(t.bench.link.isOpen());
        EXPECT_TRUE(t.device->errors().empty());
    }
}

TEST(UartIsp, SerialNumberPastTheImageGrowsItWithFF) {
    IspBench t(bootScenario({chipOf(2)}));
    ProgrammingJob& job = t.bench.job;
    t.aprom(0x1000);
    testing::setSerial(job, 0x2000, 12, 34567890);
    t.isp.ispUpdateChip();

    ASSERT_EQ(t.bench.op.boxes(),
              Boxes{kPass + "\n\n( S/N='00000012,34567890' at address 0x2000 )"});
    EXPECT_EQ(job.imageAprom.length, 0x2008u);
    EXPECT_EQ(job.imageAprom.lengthHigh, 0x40u);
    EXPECT_EQ(job.imageAprom.lengthLow, 0x08u);
    const auto chip = t.loader().chips().front();
    EXPECT_TRUE(std::all_of(chip.aprom.begin() + 0x1000, chip.aprom.begin() + 0x2000,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(testing::slice(chip.aprom, 0x2000),
              std::vector<std::uint8_t>({0x00, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x90}));
    EXPECT_EQ(job.serialLow, 34567891u) << "advanced after the PASS";
}

TEST(UartIsp, BaudCodesChooseTheRateAndOthersAreIgnored) {
    sim::BootChip chip = chipOf(2, 0x26);
    chip.leadingAnswers = {0x25, 0x25};
    IspBench t(bootScenario({chip}));
    ASSERT_TRUE(t.isp.detectChip());
    EXPECT_EQ(t.bench.link.lineSettings().baudRate, 38400u);
    EXPECT_EQ(t.device->line().deviceWrites(), std::vector<std::uint8_t>({0x25, 0x25, 0x26}));
    EXPECT_EQ(t.bench.op.lastStatus(), "Detect chip... ok !");
}

TEST(UartIsp, AnAnswerAfterTenSecondsDoesNotCount) {
    // The chip's first probe comes 50 ms after the start (the first reset pulse).
    for (const auto& [resetMs, found] : {std::pair{9890u, true}, std::pair{9960u, false}}) {
        SCOPED_TRACE(resetMs);
        sim::BootChip chip = chipOf(2);
        chip.resetAfterMs = resetMs;
        IspBench t(bootScenario({chip}));
        const std::uint64_t start = t.bench.clock.nowMs();
        EXPECT_EQ(t.isp.detectChip(), found);
        EXPECT_FALSE(t.device->line().deviceWrites().empty()) << "the chip did answer";
        EXPECT_LE(t.bench.clock.nowMs() - start, 10200u);
        EXPECT_EQ(t.bench.op.lastStatus(),
                  found ? "Detect chip... ok !" : "Detect chip... Not found !");
        t.bench.link.close();
    }
}

TEST(UartIsp, CodeProtectionWarningOnlyOutsideProductionMode) {
    for (const bool production : {false, true}) {
        SCOPED_TRACE(production);
        sim::BootChip chip = chipOf(2);
        chip.chip.locked = true;
        IspBench t(bootScenario({chip}));
        ProgrammingJob& job = t.bench.job;
        job.updateConfig = true;  // the default CONFIG leaves the lock bit set: unprotected
        job.chipCounterEnabled = true;
        job.chipCounterDown = true;
        job.chipCounter = 1;  // one chip, then the production loop ends
        job.productionMode = production;
        if (production)
            t.isp.ispProductionLoop();
        else
            t.isp.ispUpdateChip();

        Boxes expected{kPass};
        if (!production) {
            expected.insert(expected.begin(),
                            "WARNING: APROM will be erased because code protection is changed "
                            "from \"Enable\" to \"Disable\" !");
        }
        EXPECT_EQ(t.bench.op.boxes(), expected);
        EXPECT_FALSE(t.loader().chips().front().locked);
        EXPECT_EQ(job.chipCounter, 0u);
    }
}

TEST(UartIspProduction, EndsAtTheCounterLimitBeforeDetecting) {
    IspBench t(bootScenario({chipOf(2)}));
    t.bench.job.productionMode = true;
    t.bench.job.chipCounterEnabled = true;
    t.bench.job.chipCounter = kChipCounterMax;
    const std::size_t opens = t.bench.ports.openAttempts().size();
    t.isp.ispProductionLoop();
    EXPECT_EQ(t.bench.ports.openAttempts().size(), opens);
    EXPECT_TRUE(t.bench.op.boxes().empty());
    EXPECT_EQ(t.bench.op.lastStatus(), "Ready...");
}

TEST(UartIspProduction, ChipsOneAfterAnotherUntilProductionModeIsSwitchedOff) {
    sim::BootChip failing = chipOf(2);
    failing.chip.partIndex = 0;  // a smaller part: the image does not fit
    std::vector<sim::BootChip> chips{chipOf(2), failing, chipOf(2, 0x09)};
    chips[1].resetAfterMs = 3000;
    IspBench t(bootScenario(chips));
    t.aprom(0x3000);
    t.bench.job.productionMode = true;

    std::thread worker([&] {
        VirtualClock::Participant party(t.bench.clock);
        t.isp.ispProductionLoop();
    });
    // The fourth chip never comes: switch production mode off while the loop waits for it.
    while (t.bench.op.boxes().size() < 3)
        t.bench.clock.sleepMs(100);
    t.bench.clock.sleepMs(2000);
    const std::uint64_t stoppedAt = t.bench.clock.nowMs();
    t.isp.stopProduction();
    {
        VirtualClock::Absence away(t.bench.clock);
        worker.join();
    }
    EXPECT_LE(t.bench.clock.nowMs() - stoppedAt, 60u) << "within one detection step";
    EXPECT_EQ(t.bench.op.boxes(), Boxes({kPass, "FAIL: Update APROM error !", kPass}));
    EXPECT_FALSE(t.bench.link.isOpen());
    EXPECT_EQ(t.bench.op.lastStatus(), "Ready...");
}

// Answers that come after their probe's read has ended are read by the next probe; the
// answers still on their way must not be taken for the chip's first replies at the new speed.
TEST(UartIsp, LateProbeAnswersAreDroppedBeforeTheSpeedChanges) {
    IspBench t(bootScenario({chipOf(2)}, {sim::Fault{sim::Fault::Kind::LateReply, 1, 2, {}, 3}}));
    t.aprom(300);
    t.isp.ispUpdateChip();
    EXPECT_EQ(t.bench.op.boxes(), Boxes{kPass});
    EXPECT_TRUE(t.device->errors().empty());
}

// A boot loader that answers the first probe after a few and then does something to the line.
sim::LoopbackDevice::MakeDevice answeringThen(LoopbackLine*& line, bool cutOnFourthProbe) {
    return [&line, cutOnFourthProbe](sim::DeviceLine& deviceLine) {
        auto device = std::make_unique<sim::SimDevice>(deviceLine);
        auto probes = std::make_shared<int>(0);
        device->onCommand(isp::kProbe, [&line, &deviceLine, probes, cutOnFourthProbe] {
            if (++*probes < 4)
                return;
            line->refuseConfigure(true);
            if (cutOnFourthProbe)
                line->cut();
            else
                deviceLine.reply(0x73);
        });
        return device;
    };
}

TEST(UartIsp, PortFailureTexts) {
    for (const bool cut : {false, true}) {
        LoopbackLine* line = nullptr;
        IspBench t(answeringThen(line, cut));
        line = &t.device->line();
        t.aprom(16);
        t.bench.job.productionMode = cut;
        cut ? t.isp.ispProductionLoop() : t.isp.ispUpdateChip();
        EXPECT_EQ(t.bench.op.boxes(), cut ? Boxes{"FAIL: ComPort cannot be re-opened !"}
                                          : Boxes({"FAIL: ComPort baudrate-setting error !",
                                                   "FAIL: Chip not ready !"}));
    }
    IspBench t(bootScenario({chipOf(2)}));
    t.isp.selectPort(-1);
    t.isp.ispUpdateChip();
    EXPECT_EQ(t.bench.op.boxes(),
              Boxes({"FAIL: ComPort cannot be opened !", "FAIL: Chip not ready !"}));
}

TEST(UartIsp, RegionFailureTexts) {
    using sim::Fault;
    const std::string hint =
        "\nPlease check:\n (1) Part No.\n (2) Chip's actual CONFIG setting related to DataFlash\n";
    const Boxes dataFlashErase = {"FAIL: Erase DataFlash error !",
                                  "FAIL: Update DataFlash error !" + hint};
    // Steps: 1 the baud code; CONFIG 2 'Z', 3 first reply, 4 0xA5; or APROM 2 'Z', 3 erase
    // done, 4 'Z' of the first block, 5 its 0xA5.
    struct Case {
        bool config;
        bool dataFlash;
        std::uint32_t part;
        int step;
        Boxes boxes;
    };
    const Case cases[] = {
        {true, false, 2, 4, {"FAIL: Update CONFIG error !"}},
        {false, false, 2, 3, {"FAIL: Erase APROM error !", "FAIL: Update APROM error !"}},
        {false, false, 2, 5, {"FAIL: Update APROM error !"}},
        {false, false, 39, 5, {"FAIL: Update APROM error !" + hint}},
        {false, true, 39, 3, dataFlashErase},
        {false, true, 2, 5, {"FAIL: Update DataFlash error !"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.boxes.back());
        IspBench t(bootScenario({chipOf(c.part)}, {Fault{Fault::Kind::WrongByte, c.step, 1, 0x00}}),
                   c.part);
        ProgrammingJob& job = t.bench.job;
        job.updateConfig = c.config;
        if (c.dataFlash) {
            job.updateDataFlash = true;
            testing::setImage(job.imageDataFlash, ImageRegion::DataFlash, 200, 3, "data.bin");
        } else if (!c.config) {
            t.aprom(200);
        }
        t.isp.ispUpdateChip();
        EXPECT_EQ(t.bench.op.boxes(), c.boxes);
        EXPECT_FALSE(t.bench.link.isOpen());
    }
}

// Each whole block costs the protocol's pauses and no more: 1 ms after the command, 1 ms after
// the frame (overlapping the wait for its result), and on the normal protocol 1 ms more. The
// same DataFlash image goes with every APROM image, so it adds nothing to the difference.
TEST(UartIsp, BothProtocolsWriteTheDataFlashAndEachBlockKeepsItsPauses) {
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast);
        std::uint64_t elapsed[2] = {};
        for (const std::uint32_t blocks : {2u, 4u}) {
            IspBench t(bootScenario({chipOf(39)}), 39);
            t.aprom(blocks * isp::kBlockBytes);
            ProgrammingJob& job = t.bench.job;
            job.uartFastProtocol = fast;
            job.updateDataFlash = true;
            testing::setImage(job.imageDataFlash, ImageRegion::DataFlash, 0x150, 5, "data.bin");
            const std::uint64_t start = t.bench.clock.nowMs();
            t.isp.ispUpdateChip();
            elapsed[blocks / 4] = t.bench.clock.nowMs() - start;
            EXPECT_EQ(t.bench.op.boxes(), Boxes{kPass});
            const auto chip = t.loader().chips().front();
            EXPECT_TRUE(std::equal(job.imageDataFlash.data.begin(),
                                   job.imageDataFlash.data.begin() + 0x150,
                                   chip.dataFlash.begin()));
        }
        EXPECT_EQ(elapsed[1] - elapsed[0], 2u * (fast ? 2 : 3));
    }
}

TEST(UartIsp, PortFileIsReadIntoTheSixteenByteFieldOnly) {
    IspBench t(bootScenario({chipOf(2)}));
    t.dir.write(kPortFile, std::string(40, 'x'));
    t.bench.job.setComPortName("");
    t.isp.searchIspPorts();
    EXPECT_EQ(t.bench.job.comPortText(), std::string(15, 'x'));
    EXPECT_TRUE(t.bench.job.comPortFromIspSearch);
    EXPECT_EQ(t.isp.selectedPort(), 0) << "no entry matches: the first is selected";
}

}  // namespace
}  // namespace tarnel

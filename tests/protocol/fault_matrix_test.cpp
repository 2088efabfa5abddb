// Every programmer and boot-loader command against every step of its own exchange, with each
// kind of line fault at that step. The steps are counted from a clean run of the command, so
// the matrix follows the exchanges as they are. Whatever goes wrong, the command ends, shows
// no PASS, clears busy, and leaves the S/N, the chip counter and the files alone.

#include <gtest/gtest.h>

#include <functional>

#include "app/command_worker.h"
#include "isp/uart_isp.h"
#include "operations/chip_check.h"
#include "operations/download.h"
#include "operations/programmer_info.h"
#include "operations/read_chip.h"
#include "operations/update.h"
#include "operations/verify.h"
#include "sim/synthetic_firmware.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Kind = sim::Fault::Kind;

// Past every time-out of both protocols.
constexpr std::uint32_t kPastEveryTimeout = 30000;

struct Command {
    std::string name;
    std::function<sim::Scenario()> scenario;
    std::function<void(LinkBench&)> setUp;  // on the window's thread
    // The window's preparation, then the worker under the busy guard.
    std::function<void(LinkBench&, ReadBackState&, CommandWorker&)> run;
};

// A part with a Pike CONFIG (chip check applies) and a small APROM image.
void icpJob(LinkBench& bench, bool gang) {
    bench.selectPart(136);
    if (gang) {
        bench.job.programmerType |= kTypeGang;
        bench.job.refreshDerivedState();
    }
    bench.job.updateAprom = true;
    testing::setImage(bench.job.imageAprom, ImageRegion::Aprom, 0x180, 3, "app.bin");
    testing::finishImages(bench.job);
    bench.job.serialEnabled = true;
    bench.job.serialAddress = 0x100;
    bench.job.serialLow = 1000;
    bench.job.incrementLow = 1;
    bench.job.chipCounterEnabled = true;
    bench.job.chipCounter = 5;
}

sim::Scenario programmer(bool gang) {
    return gang ? testing::gangScenario() : testing::singleScenario(0xAB);
}

std::vector<Command> programmerCommands(bool gang) {
    const std::string mode = gang ? "gang " : "single ";
    const auto worker = [](auto body) {
        return [body](LinkBench& b, ReadBackState& r, CommandWorker& w) {
            w.run([&] { body(b, r); });
        };
    };
    std::vector<Command> commands = {
        {mode + "download", [gang] { return programmer(gang); },
         [gang](LinkBench& b) { icpJob(b, gang); },
         [gang](LinkBench& b, ReadBackState&, CommandWorker& w) {
             if (!gang || prepareGangDownload(b.session))
                 w.run([&] { downloadWorker(b.session); });
         }},
        // The programmer holds no setup yet: the update downloads first, then updates.
        {mode + "update", [gang] { return programmer(gang); },
         [gang](LinkBench& b) { icpJob(b, gang); },
         [gang](LinkBench& b, ReadBackState&, CommandWorker& w) {
             if (gang && !prepareGangDownload(b.session))
                 return;
             if (chipCounterAllowsUpdate(b.job, b.op))
                 w.run([&] { gang ? runDownloadThenUpdate(b.session) : updateWorker(b.session); });
         }},
        {mode + "verify", [gang] { return programmer(gang); },
         [gang](LinkBench& b) { icpJob(b, gang); },
         [gang](LinkBench& b, ReadBackState& r, CommandWorker& w) {
             if (!gang || prepareGangSocket(b.session, r))
                 w.run([&] { verifyWorker(b.session, r); });
         }},
        {mode + "read", [gang] { return programmer(gang); },
         [gang](LinkBench& b) { icpJob(b, gang); },
         [gang](LinkBench& b, ReadBackState& r, CommandWorker& w) {
             if (!gang || prepareGangSocket(b.session, r))
                 w.run([&] { readWorker(b.session, r); });
         }},
        {mode + "information", [gang] { return programmer(gang); },
         [gang](LinkBench& b) { icpJob(b, gang); },
         worker([](LinkBench& b, ReadBackState& r) { programmerInformation(b.session, r); })},
        {mode + "firmware load", [gang] { return programmer(gang); },
         [gang](LinkBench& b) { icpJob(b, gang); },
         worker([](LinkBench& b, ReadBackState&) { b.session.reloadFirmware(); })},
    };
    if (!gang) {
        commands.push_back(
            {mode + "chip check", [] { return programmer(false); },
             [](LinkBench& b) { icpJob(b, false); },
             worker([](LinkBench& b, ReadBackState& r) { chipCheckWorker(b.session, r); })});
    }
    return commands;
}

Command ispUpdate() {
    return {"ISP update",
            [] {
                sim::Scenario scenario;
                scenario.device = sim::Scenario::Device::Bootloader;
                sim::BootChip chip;
                chip.chip.partIndex = 2;
                chip.baudCode = 0x73;
                chip.resetAfterProbes = 3;
                scenario.bootChips = {chip};
                return scenario;
            },
            [](LinkBench& b) {
                b.job.workDirectory = b.firmwareDir.path();
                b.job.programmerType = kTypeIspByCom;
                b.job.partIndex = 2;
                b.job.refreshDerivedState();
                b.job.updateAprom = true;
                testing::setImage(b.job.imageAprom, ImageRegion::Aprom, 0x150, 5, "app.bin");
                b.job.serialEnabled = true;
                b.job.serialAddress = 0x100;
                b.job.serialLow = 1000;
                b.job.incrementLow = 1;
                b.job.chipCounterEnabled = true;
                b.job.chipCounter = 5;
            },
            [](LinkBench& b, ReadBackState&, CommandWorker& w) {
                UartIsp isp(b.job, b.link, b.op, b.clock);
                isp.searchIspPorts();
                w.run([&] { isp.ispUpdateChip(); });
            }};
}

struct Outcome {
    std::vector<std::string> boxes;
    int steps = 0;
    bool busy = false;
    std::uint32_t serialLow = 0;
    std::uint32_t chipCounter = 0;
    std::vector<std::string> leftovers;  // temporary files of an unfinished write
};

Outcome runOnce(const Command& command, std::vector<sim::Fault> faults) {
    LinkBench bench;
    sim::Scenario scenario = command.scenario();
    scenario.faults = std::move(faults);
    auto& device = bench.singlePort(scenario);
    bench.writeFirmwareFiles();
    command.setUp(bench);
    ReadBackState readBack;
    CommandWorker worker(bench.job.busy);
    command.run(bench, readBack, worker);

    Outcome outcome;
    outcome.boxes = bench.op.boxes();
    outcome.steps = device.device().line().steps();
    outcome.busy = bench.job.busy.load();
    outcome.serialLow = bench.job.serialLow;
    outcome.chipCounter = bench.job.chipCounter;
    for (const auto& name : bench.firmwareDir.entries()) {
        if (name.find(".tmp") != std::string::npos)
            outcome.leftovers.push_back(name);
    }
    return outcome;
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.rfind(prefix, 0) == 0;
}

void runMatrix(const Command& command) {
    SCOPED_TRACE(command.name);
    const Outcome clean = runOnce(command, {});
    ASSERT_FALSE(clean.busy);
    for (const auto& box : clean.boxes)
        ASSERT_FALSE(startsWith(box, "FAIL")) << "the clean run failed: " << box;
    ASSERT_GT(clean.steps, 0);

    const std::vector<std::pair<Kind, const char*>> kinds = {{Kind::NoAnswer, "no answer"},
                                                             {Kind::WrongByte, "wrong byte"},
                                                             {Kind::LateReply, "late reply"},
                                                             {Kind::LineCut, "line cut"}};
    for (int step = 1; step <= clean.steps; ++step) {
        for (const auto& [kind, kindName] : kinds) {
            SCOPED_TRACE(std::string(kindName) + " at step " + std::to_string(step));
            sim::Fault fault;
            fault.kind = kind;
            fault.step = step;
            fault.count = kind == Kind::WrongByte ? 1 : 0;
            fault.delayMs = kPastEveryTimeout;
            const Outcome faulty = runOnce(command, {fault});
            EXPECT_FALSE(faulty.busy);
            EXPECT_TRUE(faulty.leftovers.empty());
            bool passed = false;
            bool failed = false;
            for (const auto& box : faulty.boxes) {
                passed = passed || startsWith(box, "PASS");
                failed = failed || startsWith(box, "FAIL") || startsWith(box, "WARNING");
            }
            // A wrong byte inside data the host only shows (a read-back) cannot be told from
            // the right one; every other fault must end in a message of its own.
            if (kind != Kind::WrongByte) {
                EXPECT_TRUE(failed) << ::testing::PrintToString(faulty.boxes);
            }
            EXPECT_FALSE(passed) << ::testing::PrintToString(faulty.boxes);
            if (!passed) {
                EXPECT_EQ(faulty.serialLow, 1000u);
                EXPECT_EQ(faulty.chipCounter, 5u);
            }
        }
    }
}

TEST(FaultMatrix, DISABLED_SingleProgrammerCommands) {
    for (const Command& command : programmerCommands(false))
        runMatrix(command);
}

TEST(FaultMatrix, DISABLED_GangProgrammerCommands) {
    for (const Command& command : programmerCommands(true))
        runMatrix(command);
}

TEST(FaultMatrix, DISABLED_IspUpdateByComPort) {
    runMatrix(ispUpdate());
}

}  // namespace
}  // namespace tarnel

// Every programmer and boot-loader command against the steps of its own exchanges, with each
// kind of line fault at that step. The steps come from a clean run of the command: each run
// of identical exchanges (the same answer after the same number of host bytes, such as the
// acknowledges of a data transfer) is faulted at its first and its last step, every other
// step on its own. Whatever goes wrong, the command ends and clears busy without leaving a
// half-written file. A silent, late or cut line, or a wrong acknowledge, ends it in a FAIL or
// WARNING box with no PASS, a false verdict for a caller that asks for one, and the S/N and
// chip counter where they were; a wrong byte the host cannot tell from a right one (a version
// byte, data) lets it end as the clean run did.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>

#include "app/command_worker.h"
#include "isp/uart_isp.h"
#include "link/programmer_kind.h"
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

// Past every time-out of both protocols, the 40 s the gang update polls for its result
// included.
constexpr std::uint32_t kPastEveryTimeout = 60000;

struct Command {
    std::string name;                       // also the test's name
    std::function<void(LinkBench&)> setUp;  // on the window's thread
    std::function<sim::Scenario(const ProgrammingJob&)> scenario;
    // The window's preparation, then the worker under the busy guard; the command's own
    // verdict where it gives its caller one.
    std::function<std::optional<bool>(LinkBench&, ReadBackState&, CommandWorker&)> run;
    // Run cleanly first on the same programmer, outside the matrix (a download, say).
    std::function<void(LinkBench&)> prelude;
    // How far a stopped command may have moved the S/N: the gang update advances it while it
    // hands the four S/Ns out and takes that back only when a result says no chip passed.
    std::uint32_t serialHandOut = 0;
    // Answers after the verdict: the ISP update shows PASS once the chip is written and only
    // then tells the boot loader to end; a fault there cannot take the PASS back.
    int afterVerdict = 0;
    // The device's one-byte acknowledges: a wrong one must always stop the command.
    std::vector<std::uint8_t> acknowledges = {kSingleAck, kGangAck};
};

void PrintTo(const Command& command, std::ostream* out) {
    *out << command.name;
}

// S/N 1000 and five chips left on the counter: a failed command must move neither.
void serialAndCounter(ProgrammingJob& job) {
    testing::setSerial(job, 0x200, 0, 1000);
    job.incrementLow = 1;
    job.chipCounterEnabled = true;
    job.chipCounter = 5;
}

// A programmer whose chips already hold the job's APROM image and CONFIG bytes, so that a
// clean verify passes.
sim::Scenario programmer(bool gang, const ProgrammingJob& job) {
    sim::Scenario scenario = gang ? testing::gangScenario() : testing::singleScenario(0xAB);
    sim::SimChip chip;
    chip.aprom.assign(job.imageAprom.data.begin(),
                      job.imageAprom.data.begin() + job.imageAprom.length);
    chip.config = job.configBytes;
    scenario.sockets.assign(gang ? 4 : 1, chip);
    return scenario;
}

// A gang programmer's read-back commands connect to the socket the operator chose first.
template <class Worker>
auto onSocket(bool gang, Worker body) {
    return [gang, body](LinkBench& b, ReadBackState& r, CommandWorker& w) {
        bool verdict = false;
        if (!gang || prepareGangSocket(b.session, r))
            w.run([&] { verdict = body(b.session, r); });
        return std::optional<bool>(verdict);
    };
}

std::vector<Command> programmerCommands(bool gang) {
    const std::string mode = gang ? "Gang" : "Single";
    const auto worker = [](auto body) {
        return [body](LinkBench& b, ReadBackState& r, CommandWorker& w) {
            bool verdict = false;
            w.run([&] { verdict = body(b, r); });
            return std::optional<bool>(verdict);
        };
    };
    const auto download = [](LinkBench& b) {
        if (!b.job.gangMode || prepareGangDownload(b.session))
            downloadWorker(b.session);
    };
    // A part with a Pike CONFIG (chip check applies) and a small APROM image.
    const auto setUp = [gang](LinkBench& b) {
        testing::apromJob(b, 0x180, 136, gang);
        serialAndCounter(b.job);
    };
    const auto onProgrammer = [gang](const ProgrammingJob& j) { return programmer(gang, j); };
    std::vector<Command> commands = {
        {mode + "Download", setUp, onProgrammer,
         [gang](LinkBench& b, ReadBackState&, CommandWorker& w) {
             if (!gang || prepareGangDownload(b.session))
                 w.run([&] { downloadWorker(b.session); });
             return std::optional<bool>(b.session.downloadSucceeded());
         },
         nullptr},
        // A single programmer that holds no setup yet is downloaded by the update itself;
        // the gang update starts from a downloaded gang programmer.
        {mode + "Update", setUp, onProgrammer,
         [](LinkBench& b, ReadBackState&, CommandWorker& w) -> std::optional<bool> {
             if (chipCounterAllowsUpdate(b.job, b.op))
                 w.run([&] { updateWorker(b.session); });
             return std::nullopt;
         },
         gang ? std::function<void(LinkBench&)>(download) : nullptr, gang ? 4u : 0u},
        {mode + "Verify", setUp, onProgrammer, onSocket(gang, verifyWorker), nullptr},
        {mode + "Read", setUp, onProgrammer, onSocket(gang, readWorker), nullptr},
        {mode + "Information", setUp, onProgrammer,
         worker([](LinkBench& b, ReadBackState& r) { return programmerInformation(b.session, r); }),
         download},
        // The operator reloads a single programmer's firmware; a gang programmer is reloaded
        // when it reports another version than the host carries.
        {mode + "FirmwareLoad", setUp,
         [gang](const ProgrammingJob& j) {
             sim::Scenario scenario = programmer(gang, j);
             if (gang)
                 scenario.firmwareVersion = 0x0600;
             return scenario;
         },
         worker([](LinkBench& b, ReadBackState&) {
             return b.job.gangMode
                        ? b.session.searchGangProgrammer() && b.session.gangFirmwareReady()
                        : b.session.reloadFirmware();
         }),
         nullptr},
    };
    if (!gang) {
        commands.push_back(
            {mode + "ChipCheck", setUp, onProgrammer,
             worker([](LinkBench& b, ReadBackState& r) { return chipCheckWorker(b.session, r); }),
             nullptr});
    }
    return commands;
}

Command ispUpdate() {
    return {"ISPUpdate",
            [](LinkBench& b) {
                b.job.workDirectory = b.firmwareDir.path();
                b.job.programmerType = kTypeIspByCom;
                b.job.partIndex = 2;
                b.job.refreshDerivedState();
                b.job.updateAprom = true;
                testing::setImage(b.job.imageAprom, ImageRegion::Aprom, 0x150, 5, "app.bin");
                serialAndCounter(b.job);
            },
            [](const ProgrammingJob&) {
                sim::Scenario scenario;
                scenario.device = sim::Scenario::Device::Bootloader;
                sim::BootChip chip;
                chip.chip.partIndex = 2;
                chip.resetAfterProbes = 3;
                scenario.bootChips = {chip};
                return scenario;
            },
            [](LinkBench& b, ReadBackState&, CommandWorker& w) -> std::optional<bool> {
                UartIsp isp(b.job, b.link, b.op, b.clock);
                isp.searchIspPorts();
                w.run([&] { isp.ispUpdateChip(); });
                return std::nullopt;
            },
            nullptr,
            0,
            1,
            {}};
}

struct Outcome {
    std::vector<std::string> boxes;
    std::vector<sim::AnswerRecord> answers;
    std::optional<bool> verdict;
    bool busy = false;
    std::uint32_t serialLow = 0;
    std::uint32_t chipCounter = 0;
    std::vector<std::string> leftovers;  // temporary files of an unfinished write
};

// The programmers' firmware files, written once: every command may compare versions.
const std::string& firmwareFiles() {
    static const test::ScratchDir dir;
    static const auto written =
        sim::writeSyntheticFirmwareFiles(dir.path(), kCarriedFirmwareVersion);
    (void)written;
    return dir.path();
}

bool anyBox(const std::vector<std::string>& boxes,
            std::initializer_list<std::string_view> prefixes) {
    return std::any_of(boxes.begin(), boxes.end(), [&](const std::string& box) {
        return std::any_of(prefixes.begin(), prefixes.end(),
                           [&](std::string_view prefix) { return box.rfind(prefix, 0) == 0; });
    });
}

// The faults count their steps from the command's first answer, after the prelude's.
Outcome runOnce(const Command& command, std::vector<sim::Fault> faults) {
    LinkBench bench;
    bench.session.setFirmwareDirectory(firmwareFiles());
    command.setUp(bench);
    sim::Scenario scenario = command.scenario(bench.job);
    auto& device = bench.singlePort(scenario);
    auto& line = device.device().line();
    std::size_t before = 0;
    if (command.prelude) {
        command.prelude(bench);
        EXPECT_FALSE(anyBox(bench.op.boxes(), {"FAIL", "WARNING"}));
        bench.op.clear();
        before = line.answers().size();
    }
    for (sim::Fault& fault : faults)
        fault.step += static_cast<int>(before);
    line.setFaults(std::move(faults));
    ReadBackState readBack;
    Outcome outcome;
    {
        CommandWorker worker(bench.job.busy);
        outcome.verdict = command.run(bench, readBack, worker);
    }

    outcome.boxes = bench.op.boxes();
    outcome.answers = line.answers();
    outcome.answers.erase(outcome.answers.begin(),
                          outcome.answers.begin() + static_cast<std::ptrdiff_t>(before));
    outcome.busy = bench.job.busy.load();
    outcome.serialLow = bench.job.serialLow;
    outcome.chipCounter = bench.job.chipCounter;
    for (const auto& name : bench.firmwareDir.entries()) {
        if (name.find(".tmp") != std::string::npos)
            outcome.leftovers.push_back(name);
    }
    return outcome;
}

// ThreadSanitizer runs the matrix about ten times slower and is there for races, not for
// wrong endings: it takes every fourth of the steps (the debug and ASan builds take all).
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kStepStride = 4;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr std::size_t kStepStride = 4;
#else
constexpr std::size_t kStepStride = 1;
#endif
#else
constexpr std::size_t kStepStride = 1;
#endif

// First and last step of each run of identical answers; steps count from 1.
std::vector<int> stepsToFault(const std::vector<sim::AnswerRecord>& answers) {
    std::vector<int> steps;
    const int n = static_cast<int>(answers.size());
    for (int i = 0; i < n; ++i) {
        const bool first = i == 0 || !(answers[i] == answers[i - 1]);
        const bool last = i == n - 1 || !(answers[i] == answers[i + 1]);
        if (first || last)
            steps.push_back(i + 1);
    }
    std::vector<int> taken;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i % kStepStride == 0 || i + 1 == steps.size())
            taken.push_back(steps[i]);
    }
    return taken;
}

class FaultMatrix : public ::testing::TestWithParam<Command> {};

TEST_P(FaultMatrix, EveryFaultEndsTheCommandWithItsMessage) {
    const Command& command = GetParam();
    const Outcome clean = runOnce(command, {});
    ASSERT_FALSE(clean.busy);
    ASSERT_FALSE(anyBox(clean.boxes, {"FAIL", "WARNING"})) << ::testing::PrintToString(clean.boxes);
    ASSERT_FALSE(clean.answers.empty());
    ASSERT_NE(clean.verdict, false);

    const std::vector<std::pair<Kind, const char*>> kinds = {{Kind::NoAnswer, "no answer"},
                                                             {Kind::WrongByte, "wrong byte"},
                                                             {Kind::LateReply, "late reply"},
                                                             {Kind::LineCut, "line cut"}};
    for (const int step : stepsToFault(clean.answers)) {
        const sim::AnswerRecord& answer = clean.answers[static_cast<std::size_t>(step - 1)];
        const bool acknowledge =
            answer.size == 1 && std::find(command.acknowledges.begin(), command.acknowledges.end(),
                                          answer.first) != command.acknowledges.end();
        for (const auto& [kind, kindName] : kinds) {
            SCOPED_TRACE(std::string(kindName) + " at step " + std::to_string(step));
            // A wrong byte hits one answer; the other faults last to the end.
            const sim::Fault fault{
                kind, step, kind == Kind::WrongByte ? 1 : 0, {}, kPastEveryTimeout};
            const Outcome faulty = runOnce(command, {fault});
            EXPECT_FALSE(faulty.busy);
            EXPECT_TRUE(faulty.leftovers.empty()) << ::testing::PrintToString(faulty.leftovers);
            const bool failed = anyBox(faulty.boxes, {"FAIL", "WARNING"});
            const bool passed = anyBox(faulty.boxes, {"PASS"});
            const bool afterVerdict =
                step > static_cast<int>(clean.answers.size()) - command.afterVerdict;
            if (afterVerdict || (kind == Kind::WrongByte && !acknowledge && !failed)) {
                // A wrong version byte, data byte or field of an unticked region can look
                // like a right one: the command may then only end as the clean one did.
                EXPECT_EQ(passed, anyBox(clean.boxes, {"PASS"}));
                EXPECT_EQ(faulty.serialLow, clean.serialLow);
                EXPECT_EQ(faulty.chipCounter, clean.chipCounter);
                continue;
            }
            EXPECT_TRUE(failed) << ::testing::PrintToString(faulty.boxes);
            EXPECT_FALSE(passed) << ::testing::PrintToString(faulty.boxes);
            EXPECT_NE(faulty.verdict, true) << "a failed command tells its caller so";
            EXPECT_GE(faulty.serialLow, 1000u);
            EXPECT_LE(faulty.serialLow, 1000u + command.serialHandOut);
            EXPECT_EQ(faulty.chipCounter, 5u);
        }
    }
}

std::vector<Command> allCommands() {
    std::vector<Command> commands = programmerCommands(false);
    for (Command& command : programmerCommands(true))
        commands.push_back(std::move(command));
    commands.push_back(ispUpdate());
    return commands;
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultMatrix, ::testing::ValuesIn(allCommands()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace tarnel

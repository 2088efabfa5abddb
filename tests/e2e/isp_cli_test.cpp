// tarnel update --type com against the simulated boot loader over a pseudo-terminal: one
// chip, and production runs killed mid-way.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <thread>

#include <sys/wait.h>

#include "app/settings_file.h"
#include "core/production_record.h"

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kTarnel;
using tarnel::test::ran;
using tarnel::test::run;
using tarnel::test::SimProcess;

namespace {

class IspCli : public ::testing::Test {
  protected:
    void SetUp() override { image_ = dir_.write("app.bin", std::vector<std::uint8_t>(300, 0x5C)); }
    CliRun tarnel(const SimProcess& sim, const std::string& args) const {
        return run("TARNEL_PORTS=" + sim.link() + " " + kTarnel + " --workdir " + dir_.path() +
                   " update --type com --part QM114 --aprom " + image_ + " " + args);
    }
    static int count(const std::string& text, const std::string& part) {
        int n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    tarnel::test::ScratchDir dir_;
    std::string image_;
};

TEST_F(IspCli, SingleUpdateRemembersThePort) {
    SimProcess sim(dir_, R"({"device": "bootloader",
                             "chips": [{"part": "QM114", "baudCode": "0x26", "resetAfterProbes": 30}]})",
                   "sim", SimProcess::Line::Paced);
    EXPECT_TRUE(ran(tarnel(sim, "--serial 7 --serial-address 3000 --fast"), 0,
                    {"Detect chip... ok !",
                     "PASS: Chip is successfully updated !\n\n"
                     "( S/N='00000000,00000007' at address 0x3000 )"}));
    const auto remembered = tarnel::test::readBytes(dir_.file("GUI_ComPortISP.LOG"));
    // The link's path does not fit the 16-byte field: its slot name is remembered.
    EXPECT_EQ(std::string(remembered.begin(), remembered.end()), "\\\\.\\COM1");
}

// A production loop killed at random moments: every result it showed has its record entry
// and its S/N saved (a record line cut short by the kill is skipped and named), and a run
// without --serial goes on after the last S/N handed out, so none is given twice.
TEST_F(IspCli, KilledProductionLoopLosesNoShownResult) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::size_t entries = 0;
    unsigned serial = 100;
    bool savedAny = false;
    for (int round = 0; round < 4; ++round) {
        SimProcess sim(dir_, R"({"device": "bootloader", "chips": [
            {"part": "QM114", "resetAfterProbes": 5}, {"part": "QM114", "resetAfterProbes": 5},
            {"part": "QM114", "resetAfterProbes": 5}, {"part": "QM114", "resetAfterProbes": 5},
            {"part": "QM114", "resetAfterProbes": 5}, {"part": "QM114", "resetAfterProbes": 5}]})",
                       "sim" + std::to_string(round));
        const std::string out = dir_.file("run" + std::to_string(round) + ".out");
        const CliRun started =
            run("TARNEL_PORTS=" + sim.link() + " " + kTarnel + " --workdir " + dir_.path() +
                " update --type com --part QM114 --aprom " + image_ + " --serial " +
                std::to_string(serial) + " --serial-address 3000 --production --quiet > " + out +
                " 2>&1 & echo $!");
        const pid_t pid = static_cast<pid_t>(std::stol(started.out));
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 2000)(random)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const auto bytes = tarnel::test::readBytes(out);
        const std::string text(bytes.begin(), bytes.end());
        // Every result shown is a PASS or a FAIL line; only a pass uses an S/N up.
        const auto shown = static_cast<std::size_t>(count(text, "PASS:"));
        const auto failed = static_cast<std::size_t>(count(text, "FAIL:"));

        const tarnel::RecordContents record = tarnel::readRecord(dir_.path());
        for (const tarnel::RecordProblem& problem : record.problems)
            EXPECT_EQ(problem.reason, "entry cut short; skipped") << "line " << problem.line;
        // Written and saved before it is shown: at least every shown chip, at most one more.
        EXPECT_GE(record.entries.size(), entries + shown + failed) << "round " << round;
        EXPECT_LE(record.entries.size(), entries + shown + failed + 1) << "round " << round;
        entries = record.entries.size();
        tarnel::ProgrammingJob saved;
        saved.settingsFilePath = dir_.file("GUI.LOG");
        if (!tarnel::loadSettings(saved)) {  // killed before it saved anything
            EXPECT_EQ(shown + failed, 0u);
            continue;
        }
        savedAny = true;
        EXPECT_GE(saved.serialLow, serial + shown) << "round " << round;
        EXPECT_LE(saved.serialLow, serial + shown + 1) << "round " << round;
        serial = saved.serialLow;
    }

    // The killed run may have left the simulated chip mid-command: the next run gets a fresh
    // one, as a new chip in the socket would be.
    SimProcess fresh(dir_, R"({"device": "bootloader", "chips": [{"part": "QM114"}]})", "fresh");
    // It goes on after the last S/N saved; with no settings saved yet it has no S/N to use.
    char expected[64];
    std::snprintf(expected, sizeof expected, "S/N='00000000,%08u'", serial);
    EXPECT_TRUE(ran(tarnel(fresh, "--production --count 1 --quiet"), 0,
                    {savedAny ? std::string(expected) : std::string("PASS")}));
    const tarnel::ChipOutcome last = tarnel::readRecord(dir_.path()).entries.back();
    EXPECT_EQ(last.programmerKind, "ISP by COM Port");
    EXPECT_EQ(last.firmwareVersion, "");
}

}  // namespace

// A line of stations against in-process simulated programmers on virtual time: stations run
// at once, each on its own port (one by a name too long for the job's port field), one whose
// programmer is unplugged fails alone, and stop() ends every station between chips.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "app/line_runner.h"
#include "image/project_file.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;

const std::string kLongPort = "/dev/serial/by-id/usb-Corvale_ICP_Programmer_0001-if00-port0";

class Recorder : public LineListener {
  public:
    void stationChanged(const StationStatus& status) override {
        {
            std::lock_guard lock(mutex_);
            states_[status.name] = status.state;
        }
        changed_.notify_all();
    }
    void waitForState(const std::string& station, StationState state) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return states_.count(station) && states_[station] == state; });
    }
    // The updates' outcomes (downloads are heard too).
    void chipOutcome(const std::string& station, const ChipOutcome& outcome) override {
        if (outcome.operation != ChipOperation::Update)
            return;
        {
            std::lock_guard lock(mutex_);
            outcomes_[station].push_back(outcome);
        }
        changed_.notify_all();
    }
    void waitForOutcomes(const std::string& station, std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return outcomes_[station].size() >= count; });
    }
    std::vector<ChipOutcome> outcomes(const std::string& station) {
        std::lock_guard lock(mutex_);
        return outcomes_[station];
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::vector<ChipOutcome>> outcomes_;
    std::map<std::string, StationState> states_;
};

class LineRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bench.addProgrammer(kLongPort, 0xAD);
        bench.addProgrammer("portB", 0xAD);
        bench.setTable({kLongPort, "portB", "portC"});  // portC: its programmer is unplugged
        bench.writeFirmwareFiles();
        bench.selectPart(300);
        bench.job.updateAprom = true;
        testing::setImage(bench.job.imageAprom, ImageRegion::Aprom, 0x400, 4, "app.bin");
        testing::finishImages(bench.job);
        testing::setSerial(bench.job, 0x7F00);
        ASSERT_TRUE(saveProject(bench.job, dir.file("job.TPJ"), bench.op));

        setup.record = dir.file("records");
        setup.ledger = dir.file("serials.ledger");
        for (const auto& [name, port] : {std::pair{"A", kLongPort}, {"B", "portB"}, {"C", "portC"}})
            setup.stations.push_back({name, StationKind::Programmer, port, dir.file("job.TPJ"),
                                      dir.file(std::string("stations/") + name)});
        rebuild();
        // The test thread only waits for the stations from here on.
        away.emplace(bench.clock);
    }
    void TearDown() override {
        runner.reset();
        away.reset();
    }

    // A runner for the current setup, its stations' threads on the virtual clock.
    void rebuild() {
        runner = std::make_unique<LineRunner>(setup, bench.ports, bench.clock, recorder);
        runner->setFirmwareDirectory(bench.firmwareDir.path());
        runner->setThreadHooks(
            [this] { return std::make_shared<VirtualClock::Participant>(bench.clock); },
            [this] { return std::make_shared<VirtualClock::Absence>(bench.clock); });
    }
    std::map<std::string, StationStatus> statuses() {
        std::map<std::string, StationStatus> byName;
        for (const StationStatus& s : runner->snapshot())
            byName[s.name] = s;
        return byName;
    }

    LinkBench bench;
    test::ScratchDir dir;
    LineSetup setup;
    Recorder recorder;
    std::unique_ptr<LineRunner> runner;
    std::optional<VirtualClock::Absence> away;
};

TEST_F(LineRunnerTest, StationsRunAtOnceAndAnUnpluggedOneFailsAlone) {
    const auto reports = runner->downloadAll();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(reports[0].ok) << reports[0].text;
    EXPECT_TRUE(reports[1].ok) << reports[1].text;
    EXPECT_FALSE(reports[2].ok);
    EXPECT_EQ(reports[2].text, "port portC does not open");

    runner->start({2, true});
    runner->waitUntilAllEnded();
    auto byName = statuses();
    for (const char* name : {"A", "B"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(byName[name].state, StationState::Stopped);
        EXPECT_EQ(byName[name].kind, "ICP");
        EXPECT_EQ(byName[name].passed, 2u);
    }
    EXPECT_EQ(byName["C"].state, StationState::Failed);
    EXPECT_EQ(byName["C"].message, "port portC does not open");
    EXPECT_EQ(runner->worstFailure(), FailureClass::Link);
    EXPECT_EQ(recorder.outcomes("A").at(0).port, kLongPort.substr(5));
    EXPECT_FALSE(runner->trigger("A")) << "a stopped station takes no trigger";
}

// A plain trigger from the trigger channel names no station: it starts the line's only
// programmer station, and none on a line of several.
TEST_F(LineRunnerTest, APlainTriggerStartsTheOnlyProgrammerStation) {
    for (const std::size_t stations : {2u, 1u}) {
        setup.stations.resize(stations);
        rebuild();
        runner->start({1, false});
        for (const StationSetup& station : setup.stations)
            recorder.waitForState(station.name, StationState::Ready);
        if (stations == 2) {
            EXPECT_FALSE(runner->triggerFromChannel("")) << "two programmer stations";
        } else {
            ASSERT_TRUE(runner->triggerFromChannel(""));
            recorder.waitForOutcomes("A", 1);
        }
        runner->stop();
    }
    EXPECT_EQ(recorder.outcomes("A").size(), 1u);
    EXPECT_TRUE(recorder.outcomes("B").empty());
}

TEST_F(LineRunnerTest, StopEndsEveryStationBetweenChips) {
    ASSERT_TRUE(runner->downloadAll()[1].ok);
    runner->start({0, true});
    recorder.waitForOutcomes("A", 1);
    recorder.waitForOutcomes("B", 1);
    runner->stop();
    auto byName = statuses();
    for (const char* name : {"A", "B"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(byName[name].state, StationState::Stopped);
        const auto outcomes = recorder.outcomes(name);
        EXPECT_EQ(byName[name].passed, outcomes.size());
        for (const ChipOutcome& o : outcomes)
            EXPECT_EQ(o.outcome, Outcome::Pass) << "no chip was cut short: " << o.failureText;
    }
}

TEST_F(LineRunnerTest, AStationItsLedgerFailsStopsAndResumes) {
    ASSERT_TRUE(runner->downloadAll()[0].ok);
    dir.write("blocker", "a file where the ledger's directory should be");
    setup.ledger = dir.file("blocker/serials.ledger");
    rebuild();

    runner->start({1, true});
    runner->waitUntilAllEnded();
    auto byName = statuses();
    EXPECT_EQ(byName["A"].state, StationState::Stopped);
    EXPECT_NE(byName["A"].message.find("The serial-number ledger cannot be opened"),
              std::string::npos)
        << byName["A"].message;
    EXPECT_TRUE(recorder.outcomes("A").empty()) << "no chip without a number from the ledger";
    EXPECT_FALSE(runner->resume("C")) << "a failed station is not the ledger's to resume";

    std::filesystem::remove(dir.file("blocker"));
    std::filesystem::create_directory(dir.file("blocker"));
    ASSERT_TRUE(runner->resume("A"));
    recorder.waitForOutcomes("A", 1);
    runner->stop();
    byName = statuses();
    EXPECT_EQ(byName["A"].passed, 1u);
    EXPECT_EQ(byName["A"].message, "");
    EXPECT_EQ(byName["B"].passed, 0u) << "B waits for its own resume";
}

}  // namespace
}  // namespace tarnel

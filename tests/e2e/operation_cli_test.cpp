// The programmer commands of tarnel against tarnel-sim over a pseudo-terminal: a whole
// production cycle on a single programmer and on a gang programmer, the S/N and chip counter
// carried from one run to the next through the settings file, the production record they
// leave, and failures with the status of their class.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "core/production_record.h"
#include "core/programming_job.h"
#include "support/cli_process.h"
#include "support/record_summary.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::jsonLines;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::ran;
using tarnel::test::readBytes;
using tarnel::test::run;
using tarnel::test::SimProcess;

namespace {

const std::string kSampleHex = std::string(TARNEL_SOURCE_DIR) + "/examples/sample_aprom.hex";

class OperationCli : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(run(kSim + " firmware --out " + firmware()).status, 0); }
    std::string firmware() const { return dir_.file("firmware"); }
    CliRun tarnel(const SimProcess& sim, const std::string& args) const {
        return run("TARNEL_PORTS=" + sim.link() + " " + kTarnel + " --workdir " + dir_.path() +
                   " --firmware-dir " + firmware() + " " + args);
    }

    tarnel::test::ScratchDir dir_;
};

TEST_F(OperationCli, SingleProgrammerProductionCycle) {
    SimProcess sim(dir_, R"({"kind": "ICP_Vexa", "sockets": [{}]})");
    const std::string project = dir_.file("job.TPJ");
    ASSERT_EQ(run(kTarnel + " --workdir " + dir_.path() + " project save " + project +
                  " --part QK200 --aprom " + kSampleHex +
                  " --serial 41 --serial-address 1000 --chip-counter 7")
                  .status,
              0);

    EXPECT_TRUE(ran(tarnel(sim, "download --no-gang --project " + project), 0,
                    {"PASS: Programmer is successfully downloaded !"}));

    // A project keeps the S/N and chip counter of the settings file (0 on a new one).
    CliRun r = tarnel(sim, "update --no-gang --project " + project);
    EXPECT_TRUE(ran(r, 0, {"( S/N='00000000,00000000' at address 0x1000 )"}));
    EXPECT_FALSE(contains(r.out, "Clear Programmer's Storage")) << "the stored setup still fits";

    // The settings file carries the S/N and the counter on to the next run.
    EXPECT_TRUE(
        ran(tarnel(sim, "update --no-gang --project " + project), 0, {"S/N='00000000,00000001'"}));

    EXPECT_TRUE(
        ran(tarnel(sim, "verify --no-gang --project " + project), 0, {"Verify APROM ==> PASS !"}));

    EXPECT_TRUE(ran(tarnel(sim, "read --quiet --part QK200 --out " + dir_.file("read")), 0));
    const auto aprom = readBytes(dir_.file("read/APROM_Contents.BIN"));
    ASSERT_EQ(aprom.size(), 0x8000u);
    ASSERT_EQ(run(kTarnel + " hex2bin " + kSampleHex + " " + dir_.file("image.bin")).status, 0);
    const auto image = readBytes(dir_.file("image.bin"));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), aprom.begin()));
    EXPECT_EQ(aprom[0x1007], 0x01) << "the last S/N written at its address, low digits last";
    EXPECT_EQ(readBytes(dir_.file("read/LDROM_Contents.BIN")).size(), 0x1000u);

    EXPECT_TRUE(
        ran(tarnel(sim, "info --part QK200"), 0, {"*** Part No.:  QK200", "sample_aprom.hex"}));

    // One entry per chip outcome; the download and the information touched no chip.
    EXPECT_EQ(tarnel::test::recordSummary(dir_.path()),
              (std::vector<std::string>{"update #0 pass S/N 00000000,00000000 n=1",
                                        "update #0 pass S/N 00000000,00000001 n=2",
                                        "verify #0 pass n=2", "read #0 pass n=2"}));
    const tarnel::ChipOutcome update = tarnel::readRecord(dir_.path()).entries.at(0);
    EXPECT_EQ(update.partNumber, "QK200");
    EXPECT_EQ(update.projectFile, "job.TPJ");
    EXPECT_EQ(update.programmerKind, "ICP");
    EXPECT_EQ(update.firmwareVersion.size(), 6u) << update.firmwareVersion;
    EXPECT_EQ(update.port, sim.link());
    ASSERT_EQ(update.images.size(), 1u);
    EXPECT_EQ(update.images[0].name, "sample_aprom.hex");
    EXPECT_EQ(update.images[0].size, 1536u);
    EXPECT_FALSE(update.hostName.empty());
    EXPECT_EQ(update.time.size(), 25u) << "date, time and offset: " << update.time;

    // An on/off setting not given keeps the settings file's value; its opposite turns it off.
    const std::string setup = "update --part QK200 --aprom " + kSampleHex;
    auto saved = [this] {
        auto job = std::make_unique<tarnel::ProgrammingJob>();
        job->settingsFilePath = dir_.file("GUI.LOG");
        EXPECT_TRUE(tarnel::loadSettings(*job));
        return job;
    };
    ASSERT_TRUE(ran(tarnel(sim, setup + " --chip-counter 10 --count-down --fast-protocol"), 0));
    EXPECT_EQ(saved()->chipCounter, 9u);
    ASSERT_TRUE(ran(tarnel(sim, setup), 0));
    EXPECT_EQ(saved()->chipCounter, 8u) << "still counting down";
    EXPECT_TRUE(saved()->chipCounterDown);
    EXPECT_TRUE(saved()->uartFastProtocol);
    ASSERT_TRUE(ran(tarnel(sim, setup + " --count-up --normal-protocol"), 0));
    EXPECT_EQ(saved()->chipCounter, 9u);
    EXPECT_FALSE(saved()->uartFastProtocol);
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(OperationCli, GangProgrammerFourSockets) {
    SimProcess sim(dir_, R"({"device": "gang", "sockets": [{}, {"wrongDeviceId": true}, {}, {}]})");
    const std::string setup = "--gang --part QK200 --aprom " + kSampleHex;
    EXPECT_TRUE(ran(tarnel(sim, "download " + setup), 0,
                    {"PASS: Gang Programmer is successfully downloaded !"}));

    EXPECT_TRUE(ran(tarnel(sim, "update " + setup + " --chip-counter 10"), 1,
                    {"FAIL: Failed chips:  #2  "}));

    EXPECT_TRUE(ran(tarnel(sim, "verify --socket 3 " + setup), 0, {"Chip in socket #3"}));

    EXPECT_EQ(tarnel::test::recordSummary(dir_.path()),
              (std::vector<std::string>{
                  "update #1 pass n=13", "update #2 fail (chip) \"Failed chips:  #2  \" n=13",
                  "update #3 pass n=13", "update #4 pass n=13", "verify #3 pass n=13"}));
}

// A chip whose CONFIG words put the DataFlash at address 0 leaves no APROM to read: nothing
// is read, the output says so, and no filler (nor an older read) stands as its contents.
TEST_F(OperationCli, ReadOfARegionTheConfigLeavesEmptySavesNothing) {
    SimProcess sim(dir_, R"({"kind": "ICP_Vexa",
                             "sockets": [{"part": 207, "config": "FF0000FFFFFFFFFA"}]})");
    const std::string out = dir_.file("read");
    ASSERT_EQ(run("mkdir -p " + out + " && echo older > " + out + "/APROM_Contents.BIN").status, 0);
    CliRun r = tarnel(sim, "read --part QK207 --config0 FFFFFFFA --out " + out);
    EXPECT_TRUE(ran(r, 0, {"APROM Contents: nothing was read"}));
    EXPECT_FALSE(contains(r.out, "262144 bytes")) << r.out;
    EXPECT_TRUE(readBytes(out + "/APROM_Contents.BIN").empty());
}

// A port named with --port is the only one tried; without it, a silent remembered port is
// reported and the scan finds the programmer, and the PASS decides the exit status.
TEST_F(OperationCli, NamedPortIsExclusiveAndARecoveredConnectPasses) {
    SimProcess silent(dir_, R"({"faults": [{"type": "noAnswer", "step": 1, "count": 0}]})",
                      "silent");
    SimProcess sim(dir_, R"({"kind": "ICP_Vexa", "sockets": [{}]})");
    const std::string base = "TARNEL_PORTS=" + silent.link() + ":" + sim.link() + " " + kTarnel +
                             " --workdir " + dir_.path() + " --firmware-dir " + firmware();
    const std::string setup = " download --part QK200 --aprom " + kSampleHex;

    CliRun r = run(base + " --port " + silent.link() + setup);
    EXPECT_TRUE(ran(r, 3, {"no programmer answered on " + silent.link()}));
    EXPECT_FALSE(contains(r.out, "PASS")) << r.out;

    EXPECT_TRUE(
        ran(run(base + setup), 0,
            {"FAIL: Receive data error !", "PASS: Programmer is successfully downloaded !"}));
}

// Each class of failure ends with its own status, and a --json run says so in its last event.
TEST_F(OperationCli, FailuresEndWithTheStatusOfTheirClass) {
    SimProcess sim(dir_, R"({"kind": "ICP_Vexa", "sockets": [{"locked": true}]})");
    const std::string setup = " --part QK200 --aprom " + kSampleHex;
    // The chip: locked.
    EXPECT_TRUE(ran(tarnel(sim, "read --part QK200"), 1));

    // Usage: a check the part does not have, a socket that does not exist, a type that
    // cannot download.
    EXPECT_TRUE(ran(tarnel(sim, "chip-check --part QK200"), 2, {"Not QB7710 parts !"}));
    EXPECT_EQ(tarnel(sim, "verify --socket 5 --part QK200").status, 2);
    EXPECT_EQ(tarnel(sim, "download --type com --part 2").status, 2);

    // An input file: the image is not there.
    CliRun r = tarnel(sim, "update --json --part QK200 --aprom " + dir_.file("none.hex"));
    EXPECT_TRUE(ran(r, 4));
    const auto events = jsonLines(r.out);
    ASSERT_FALSE(events.empty()) << r.out;
    EXPECT_EQ(events.back().at("event"), "result");
    EXPECT_EQ(events.back().at("exit_code"), 4);

    // The operator: the chip counter has run down.
    EXPECT_TRUE(
        ran(tarnel(sim, "update --json --chip-counter 0 --count-down" + setup), 5,
            {R"("caption":"WARNING")", R"({"event":"result","exit_code":5,"outcome":"warning")"}));

    // The link: the programmer stops answering in the middle of the update.
    SimProcess cut(dir_, R"({"kind": "ICP_Vexa", "sockets": [{}],
                             "faults": [{"type": "lineCut", "step": 4}]})",
                   "cut");
    EXPECT_TRUE(ran(
        tarnel(cut, "--port " + cut.link() + " update --chip-counter 5 --count-up" + setup), 3));

    // No programmer and the pass are the recovered-connect test's; no chip outcome of
    // these reached the record but the locked read's and the lost link's (whose wording
    // depends on the moment the cut is noticed).
    const auto record = tarnel::test::recordSummary(dir_.path());
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0], "read #0 warning (chip) \"Chip was locked !\"");
    EXPECT_EQ(record[1].rfind("update #0 fail (link) \"", 0), 0u) << record[1];
}

}  // namespace

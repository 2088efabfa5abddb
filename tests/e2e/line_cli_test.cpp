// tarnel line against tarnel-sim programmers on pseudo-terminals: a triggered run ended by
// Ctrl-C, and an automatic run of a gang programmer and a boot-loader socket served by one
// simulator process.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/production_record.h"
#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::jsonLines;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::run;
using tarnel::test::SimProcess;

namespace {

const std::string kSampleHex = std::string(TARNEL_SOURCE_DIR) + "/examples/sample_aprom.hex";
const std::string kProgrammer = R"({"kind": "ICP_Vexa", "sockets": [{}]})";

class LineCli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(run(kSim + " firmware --out " + dir_.file("firmware")).status, 0);
        ASSERT_EQ(
            run(kTarnel + " --workdir " + dir_.path() + " project save " + dir_.file("job.TPJ") +
                " --part QK200 --aprom " + kSampleHex + " --serial 41 --serial-address 1000")
                .status,
            0);
        dir_.write("line.json", R"({"stations": [
            {"name": "A", "port": ")" +
                                    a_.link() + R"(", "project": "job.TPJ"},
            {"name": "B", "port": ")" +
                                    b_.link() + R"(", "project": "job.TPJ"}]})");
        ASSERT_EQ(run(line("download")).status, 0);
    }
    std::string line(const std::string& command) const {
        return kTarnel + " --firmware-dir " + dir_.file("firmware") + " line " + command + " " +
               dir_.file("line.json");
    }

    tarnel::test::ScratchDir dir_;
    SimProcess a_{dir_, kProgrammer, "simA"};
    SimProcess b_{dir_, kProgrammer, "simB"};
};

// Each station programs when its trigger comes; Ctrl-C ends the run with the totals.
TEST_F(LineCli, TriggeredStationsStopOnInterrupt) {
    const std::string trigger =
        kTarnel + " trigger --socket " + dir_.file("trigger") + " --station ";
    const std::string out = dir_.file("out.jsonl");
    const CliRun r = run(
        line("run") + " --socket " + dir_.file("trigger") + " > " + out + " 2>&1 & pid=$!; " +
        "for s in A B; do n=0; until " + trigger + "$s >/dev/null 2>&1; do " +
        "n=$((n+1)); [ $n -gt 100 ] && break; sleep 0.1; done; done; " +
        "n=0; until [ $(grep -c 'PASS' " + out + ") -ge 2 ]; do " +
        "n=$((n+1)); [ $n -gt 100 ] && break; sleep 0.1; done; " + trigger +
        "Z 2>/dev/null; echo refused=$?; kill -INT $pid; wait $pid; echo status=$?; cat " + out);
    EXPECT_TRUE(contains(r.out, "refused=1")) << r.out;
    EXPECT_TRUE(contains(r.out, "status=0")) << r.out;
    EXPECT_TRUE(contains(r.out, "[A] Ready  last PASS S/N 00000000,0000000")) << r.out;
    EXPECT_TRUE(contains(r.out, "[B] Stopped  last PASS")) << r.out;
    EXPECT_TRUE(contains(r.out, "Line totals: 2 passed, 0 failed")) << r.out;
}

}  // namespace

// A gang programmer and a boot-loader socket, both served at once by one simulator process,
// run two chips each (a gang round updates all four sockets): every S/N comes from the one
// ledger, none twice, and every chip has its record entry.
TEST(LineCliKinds, GangAndBootLoaderStationsDrawFromTheLedger) {
    tarnel::test::ScratchDir dir;
    const std::vector<std::string> scenarios = {
        R"({"device": "gang", "sockets": [{}, {}, {}, {}]})",
        R"({"device": "bootloader", "chips": [{"part": "QM114", "resetAfterProbes": 5},
                                             {"part": "QM114", "resetAfterProbes": 5}]})"};
    SimProcess sim(dir, scenarios, "line");
    const std::string firmware = dir.file("firmware");
    ASSERT_EQ(run(kSim + " firmware --out " + firmware).status, 0);
    const std::string save = kTarnel + " --workdir " + dir.path() + " project save ";
    const std::string image = " --aprom " + kSampleHex + " --serial 7 --serial-address 7F0";
    ASSERT_EQ(run(save + dir.file("gang.TPJ") + " --gang --part QK200" + image).status, 0);
    ASSERT_EQ(run(save + dir.file("isp.TPJ") + " --type com --part QM114 --fast" + image).status,
              0);
    dir.write("line.json", R"({"stations": [
        {"name": "G", "port": ")" +
                               sim.link(0) + R"(", "project": "gang.TPJ"},
        {"name": "S", "kind": "isp", "port": ")" +
                               sim.link(1) + R"(", "project": "isp.TPJ"}],
        "serial": {"first": "100"}})");
    const std::string line = kTarnel + " --firmware-dir " + firmware + " line ";
    ASSERT_EQ(run(line + "download " + dir.file("line.json")).status, 0);
    const CliRun r = run(line + "run --chips 2 --auto --json " + dir.file("line.json") +
                         " --socket " + dir.file("trigger"));
    ASSERT_EQ(r.status, 0) << r.out;
    std::map<std::string, int> chips;
    std::set<std::string> serials;
    for (const auto& event : jsonLines(r.out))
        if (event["event"] == "chip") {
            EXPECT_EQ(event["outcome"], "pass") << event;
            ++chips[event["station"]];
            serials.insert(event["serial"].get<std::string>());
        }
    EXPECT_EQ(chips, (std::map<std::string, int>{{"G", 4}, {"S", 2}})) << r.out;
    std::set<std::string> expected;
    for (int n = 100; n < 106; ++n)
        expected.insert("00000000,00000" + std::to_string(n));
    EXPECT_EQ(serials, expected) << r.out;
    const auto last = jsonLines(r.out).back();
    EXPECT_EQ(last["event"], "result");
    EXPECT_EQ(last["passed"], 6);
    EXPECT_EQ(tarnel::readRecord(dir.file("records")).entries.size(), 6u);

    // The simulator ends cleanly and takes its station links with it.
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(sim.link(0)));
    EXPECT_FALSE(std::filesystem::exists(sim.link(1)));
}

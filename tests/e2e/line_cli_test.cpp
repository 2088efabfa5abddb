// tarnel line against two tarnel-sim programmers on pseudo-terminals: a download into both,
// an automatic run of two chips per station, and a triggered run ended by Ctrl-C.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/production_record.h"
#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::run;
using tarnel::test::SimProcess;

namespace {

const std::string kSampleHex = std::string(TARNEL_SOURCE_DIR) + "/examples/sample_aprom.hex";
const std::string kProgrammer = R"({"kind": "ICP_Vexa", "sockets": [{}]})";

std::vector<nlohmann::json> jsonLines(const std::string& out) {
    std::vector<nlohmann::json> events;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        events.push_back(nlohmann::json::parse(out.substr(start, end - start)));
    return events;
}

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
        ASSERT_EQ(line("download").status, 0);
    }
    std::string lineCommand(const std::string& args) const {
        return kTarnel + " --firmware-dir " + dir_.file("firmware") + " line " + args + " " +
               dir_.file("line.json") + " --socket " + dir_.file("trigger");
    }
    CliRun line(const char* command) const {
        return run(kTarnel + " --firmware-dir " + dir_.file("firmware") + " line " + command + " " +
                   dir_.file("line.json"));
    }

    tarnel::test::ScratchDir dir_;
    SimProcess a_{dir_, kProgrammer, "simA"};
    SimProcess b_{dir_, kProgrammer, "simB"};
};

TEST_F(LineCli, AutomaticRunOfTwoChipsPerStation) {
    const CliRun r = run(lineCommand("run --chips 2 --auto --json"));
    ASSERT_EQ(r.status, 0) << r.out;
    std::map<std::string, int> chips;
    std::set<std::string> serials;
    for (const auto& event : jsonLines(r.out)) {
        if (event["event"] == "chip") {
            EXPECT_EQ(event["outcome"], "pass") << event;
            ++chips[event["station"]];
            serials.insert(event["serial"].get<std::string>());
        }
    }
    EXPECT_EQ(chips, (std::map<std::string, int>{{"A", 2}, {"B", 2}}));
    EXPECT_EQ(serials.size(), 4u) << "one ledger: no S/N twice";
    const auto last = jsonLines(r.out).back();
    EXPECT_EQ(last["event"], "result");
    EXPECT_EQ(last["passed"], 4);
    EXPECT_EQ(tarnel::readRecord(dir_.file("records")).entries.size(), 4u);
}

// Each station programs when its trigger comes; Ctrl-C ends the run with the totals.
TEST_F(LineCli, TriggeredStationsStopOnInterrupt) {
    const std::string trigger =
        kTarnel + " trigger --socket " + dir_.file("trigger") + " --station ";
    const std::string out = dir_.file("out.jsonl");
    const CliRun r = run(
        lineCommand("run") + " > " + out + " 2>&1 & pid=$!; " + "for s in A B; do n=0; until " +
        trigger + "$s >/dev/null 2>&1; do " +
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

// A gang programmer and a boot-loader socket on one line draw every S/N from the one ledger:
// four for the gang's sockets, one for the socket's chip, none twice.
TEST(LineCliKinds, GangAndBootLoaderStationsDrawFromTheLedger) {
    tarnel::test::ScratchDir dir;
    const std::vector<std::string> scenarios = {
        R"({"device": "gang", "sockets": [{}, {}, {}, {}]})",
        R"({"device": "bootloader", "chips": [{"part": "QM114", "resetAfterProbes": 5}]})"};
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
    const CliRun r = run(line + "run --chips 1 --auto --json " + dir.file("line.json") +
                         " --socket " + dir.file("trigger"));
    ASSERT_EQ(r.status, 0) << r.out;
    std::map<std::string, int> chips;
    std::set<std::string> serials;
    for (const auto& event : jsonLines(r.out))
        if (event["event"] == "chip") {
            ++chips[event["station"]];
            serials.insert(event["serial"].get<std::string>());
        }
    EXPECT_EQ(chips, (std::map<std::string, int>{{"G", 4}, {"S", 1}})) << r.out;
    EXPECT_EQ(serials,
              (std::set<std::string>{"00000000,00000100", "00000000,00000101", "00000000,00000102",
                                     "00000000,00000103", "00000000,00000104"}))
        << r.out;
}

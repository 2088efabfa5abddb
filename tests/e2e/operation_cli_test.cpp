// The programmer commands of tarnel against tarnel-sim over a pseudo-terminal: a whole
// production cycle on a single programmer and on a gang programmer, the S/N and chip counter
// carried from one run to the next through the settings file, and failures with status 1.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::run;
using tarnel::test::SimProcess;

namespace {

const std::string kSampleHex = std::string(TARNEL_SOURCE_DIR) + "/examples/sample_aprom.hex";

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

    CliRun r = tarnel(sim, "download --no-gang --project " + project);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "PASS: Programmer is successfully downloaded !")) << r.out;

    // A project keeps the S/N and chip counter of the settings file (0 on a new one).
    r = tarnel(sim, "update --no-gang --project " + project);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "( S/N='00000000,00000000' at address 0x1000 )")) << r.out;
    EXPECT_FALSE(contains(r.out, "Clear Programmer's Storage")) << "the stored setup still fits";

    // The settings file carries the S/N and the counter on to the next run.
    r = tarnel(sim, "update --no-gang --project " + project);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "S/N='00000000,00000001'")) << r.out;

    r = tarnel(sim, "verify --no-gang --project " + project);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Verify APROM ==> PASS !")) << r.out;

    r = tarnel(sim, "read --quiet --part QK200 --out " + dir_.file("read"));
    EXPECT_EQ(r.status, 0) << r.out;
    const auto aprom = fileBytes(dir_.file("read/APROM_Contents.BIN"));
    ASSERT_EQ(aprom.size(), 0x8000u);
    ASSERT_EQ(run(kTarnel + " hex2bin " + kSampleHex + " " + dir_.file("image.bin")).status, 0);
    const auto image = fileBytes(dir_.file("image.bin"));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), aprom.begin()));
    EXPECT_EQ(aprom[0x1007], 0x01) << "the last S/N written at its address, low digits last";
    EXPECT_EQ(fileBytes(dir_.file("read/LDROM_Contents.BIN")).size(), 0x1000u);

    r = tarnel(sim, "info --part QK200");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "*** Part No.:  QK200")) << r.out;
    EXPECT_TRUE(contains(r.out, "sample_aprom.hex")) << r.out;
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(OperationCli, GangProgrammerFourSockets) {
    SimProcess sim(dir_, R"({"device": "gang", "sockets": [{}, {"wrongDeviceId": true}, {}, {}]})");
    const std::string setup = "--gang --part QK200 --aprom " + kSampleHex;
    CliRun r = tarnel(sim, "download " + setup);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "PASS: Gang Programmer is successfully downloaded !")) << r.out;

    r = tarnel(sim, "update " + setup + " --chip-counter 10");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "FAIL: Failed chips:  #2  ")) << r.out;

    r = tarnel(sim, "verify --socket 3 " + setup);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Chip in socket #3")) << r.out;

    r = tarnel(sim, "read --quiet --socket 4 --out " + dir_.file("gang") + " " + setup);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(fileBytes(dir_.file("gang/APROM_Contents.BIN")).size(), 0x8000u);

    r = tarnel(sim, "info --quiet " + setup);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "ICP Gang Programmer (for Vexa)")) << r.out;
    EXPECT_TRUE(contains(r.out, "*** Part No.:  QK200")) << r.out;
}

TEST_F(OperationCli, ChipCheckReportsTrimBytesOrTheLock) {
    SimProcess sim(dir_, R"({"kind": "ICP", "sockets": [{"trim": [1, 2, 3, 4, 165]}]})");
    CliRun r = tarnel(sim, "chip-check --part 136");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "<Debug>: TRIM0~4=0x01 0x02 0x03 0x04 0xA5")) << r.out;

    SimProcess locked(dir_, R"({"kind": "ICP", "sockets": [{"locked": true}]})", "locked");
    r = tarnel(locked, "chip-check --part 140");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "WARNING: Chip was locked !")) << r.out;
}

TEST_F(OperationCli, FailuresEndWithStatusOne) {
    SimProcess sim(dir_, R"({"kind": "ICP_Vexa", "sockets": [{"locked": true}]})");
    // Nothing stored yet: the update downloads first, then finds the chip locked or passes.
    CliRun r = tarnel(sim, "read --part QK200");
    EXPECT_EQ(r.status, 1) << r.out;

    r = tarnel(sim, "chip-check --part QK200");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "Not QB7710 parts !")) << r.out;

    EXPECT_EQ(tarnel(sim, "verify --socket 5 --part QK200").status, 2);
    EXPECT_EQ(tarnel(sim, "download --type com --part 2").status, 2);
}

}  // namespace

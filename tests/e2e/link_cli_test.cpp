// tarnel against tarnel-sim over a real pseudo-terminal, found by the port scan through
// TARNEL_PORTS, with no --port.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::run;
using tarnel::test::SimProcess;

namespace {

class LinkCli : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(run(kSim + " firmware --out " + firmware()).status, 0); }
    std::string firmware() const { return dir_.file("firmware"); }
    // Slot 1 names no device, so the remembered port fails and the scan finds slot 2.
    CliRun tarnel(const SimProcess& sim, const std::string& args) const {
        return run("TARNEL_PORTS=" + dir_.file("absent") + ":" + sim.link() + " " + kTarnel +
                   " --firmware-dir " + firmware() + " " + args);
    }

    tarnel::test::ScratchDir dir_;
};

TEST_F(LinkCli, IdentifyThenFirmwareUpdateThenVariantSwitch) {
    SimProcess sim(dir_, R"({"device": "single", "kind": "ICP", "firmwareVersion": "0x0600"})");
    ASSERT_FALSE(sim.ptyPath().empty());

    CliRun r = tarnel(sim, "identify");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Programmer: ICP (0xAB, ICP) on " + sim.link())) << r.out;
    EXPECT_TRUE(contains(r.out, "Firmware version: 0x0600")) << r.out;

    r = tarnel(sim, "fw-update");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "PASS: Programmer's firmware is successfully updated !")) << r.out;

    r = tarnel(sim, "identify");
    EXPECT_TRUE(contains(r.out, "Firmware version: 0x0619")) << r.out;

    // A 32-bit part needs the Vexa variant: the search loads it.
    r = tarnel(sim, "identify --part 200");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Programmer: ICP_Vexa (0xAD, ICP_Vexa)")) << r.out;

    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(LinkCli, DoctorProbesWithoutChangingTheProgrammer) {
    SimProcess sim(dir_, R"({"device": "gang", "firmwareVersion": "0x0500"})");
    CliRun r = tarnel(sim, "doctor --probe");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, sim.link() + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "held by: tarnel-sim")) << "the simulator keeps the terminal open";
    EXPECT_TRUE(contains(r.out, "probe: programmer Gang (0xAF), firmware 0x0500")) << r.out;
    EXPECT_TRUE(contains(r.out, "access: cannot be opened: the device does not exist")) << r.out;
    // Only the identify and version queries went out: the stored setup and firmware stand.
    r = tarnel(sim, "identify --gang");
    EXPECT_TRUE(contains(r.out, "Programmer: Gang (0xAF)")) << r.out;
    EXPECT_TRUE(contains(r.out, "Firmware version: 0x0500")) << r.out;
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(LinkCli, PortListShowsTheSimulatorAndAnExplicitPortIsUsed) {
    SimProcess sim(dir_, R"({"kind": "ISP"})");
    CliRun r =
        run("TARNEL_PORTS=" + dir_.file("absent") + ":" + sim.link() + " " + kTarnel + " ports");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, sim.link() + "\n")) << r.out;
    EXPECT_FALSE(contains(r.out, dir_.file("absent"))) << r.out;

    // --port with the pseudo-terminal's own name, nothing in TARNEL_PORTS.
    const std::string name = sim.ptyPath().substr(5);  // "pts/N"
    r = run(kTarnel + " --firmware-dir " + firmware() + " --port " + name + " identify --type isp");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Programmer: ISP (0xAA, ISP) on " + name)) << r.out;
    // A part that does not exist and a scenario the simulator cannot read are usage errors.
    EXPECT_EQ(tarnel(sim, "identify --part NOSUCHPART").status, 2);
    EXPECT_EQ(run(kSim + " serve --scenario " + dir_.file("missing.json")).status, 2);
}

TEST_F(LinkCli, LineCutMidExchangeFailsCleanly) {
    // The simulator pulls the cable instead of its first answer.
    SimProcess sim(dir_, R"({"kind": "ICP", "faults": [{"type": "lineCut", "step": 1}]})");
    const auto start = std::chrono::steady_clock::now();
    CliRun r = tarnel(sim, "identify");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "FAIL: Programmer is not found !")) << r.out;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(sim.stop(), 0);
}

}  // namespace

// tarnel against tarnel-sim over a real pseudo-terminal, found by the port scan through
// TARNEL_PORTS, with no --port.

#include <gtest/gtest.h>

#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::ran;
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

    EXPECT_TRUE(ran(tarnel(sim, "identify"), 0,
                    {"Programmer: ICP (0xAB, ICP) on " + sim.link(), "Firmware version: 0x0600"}));
    EXPECT_TRUE(ran(tarnel(sim, "fw-update"), 0,
                    {"PASS: Programmer's firmware is successfully updated !"}));
    EXPECT_TRUE(ran(tarnel(sim, "identify"), 0, {"Firmware version: 0x0619"}));
    // A 32-bit part needs the Vexa variant: the search loads it.
    EXPECT_TRUE(
        ran(tarnel(sim, "identify --part 200"), 0, {"Programmer: ICP_Vexa (0xAD, ICP_Vexa)"}));

    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(LinkCli, DoctorProbesWithoutChangingTheProgrammerAndPortsListTheSimulator) {
    SimProcess sim(dir_, R"({"device": "gang", "firmwareVersion": "0x0500"})");
    // The simulator holds its terminal open; the absent slot cannot be opened.
    EXPECT_TRUE(ran(
        tarnel(sim, "doctor --probe"), 0,
        {sim.link() + "\n", "held by: tarnel-sim", "probe: programmer Gang (0xAF), firmware 0x0500",
         "access: cannot be opened: the device does not exist"}));
    CliRun r =
        run("TARNEL_PORTS=" + dir_.file("absent") + ":" + sim.link() + " " + kTarnel + " ports");
    EXPECT_TRUE(ran(r, 0, {sim.link() + "\n"}));
    EXPECT_FALSE(contains(r.out, dir_.file("absent"))) << r.out;

    // --port with the pseudo-terminal's own name, nothing in TARNEL_PORTS. Only the identify
    // and version queries went out with the probe: the stored setup and firmware stand.
    const std::string name = sim.ptyPath().substr(5);  // "pts/N"
    EXPECT_TRUE(
        ran(run(kTarnel + " --firmware-dir " + firmware() + " --port " + name + " identify --gang"),
            0, {"Programmer: Gang (0xAF", " on " + name, "Firmware version: 0x0500"}));
    // A part that does not exist and a scenario the simulator cannot read are usage errors.
    EXPECT_EQ(tarnel(sim, "identify --part NOSUCHPART").status, 2);
    EXPECT_EQ(run(kSim + " serve --scenario " + dir_.file("missing.json")).status, 2);
    EXPECT_EQ(sim.stop(), 0);
}

}  // namespace

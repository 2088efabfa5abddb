// One tarnel-sim process serving a line of stations: each station answers on its own
// terminal, at the same time as the others.

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kSim;
using tarnel::test::kTarnel;
using tarnel::test::run;
using tarnel::test::SimProcess;

TEST(SimLineCli, TwoStationsOfOneProcessAnswerAtOnce) {
    tarnel::test::ScratchDir dir;
    ASSERT_EQ(run(kSim + " firmware --out " + dir.file("firmware")).status, 0);
    SimProcess sim(dir,
                   std::vector<std::string>{
                       R"({"device": "single", "kind": "ICP", "firmwareVersion": "0x0600"})",
                       R"({"device": "gang", "firmwareVersion": "0x0500"})"},
                   "line");
    ASSERT_EQ(sim.ptyPaths().size(), 2u);
    EXPECT_NE(sim.ptyPaths()[0], sim.ptyPaths()[1]);

    auto identify = [&](std::size_t station, const std::string& work, const std::string& args) {
        const std::string command = "TARNEL_PORTS=" + sim.link(station) + " " + kTarnel +
                                    " --workdir " + dir.file(work) + " --firmware-dir " +
                                    dir.file("firmware") + " identify" + args;
        return std::async(std::launch::async, [command] { return run(command); });
    };
    auto first = identify(0, "single", "");
    auto second = identify(1, "gang", " --gang");
    const CliRun single = first.get();
    const CliRun gang = second.get();
    EXPECT_EQ(single.status, 0) << single.out;
    EXPECT_TRUE(contains(single.out, "Firmware version: 0x0600")) << single.out;
    EXPECT_EQ(gang.status, 0) << gang.out;
    EXPECT_TRUE(contains(gang.out, "Firmware version: 0x0500")) << gang.out;

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(sim.link(0)));
    EXPECT_FALSE(std::filesystem::exists(sim.link(1)));
}

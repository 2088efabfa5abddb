// Chip check: device id, lock state and the five trim bytes.

#include <gtest/gtest.h>

#include "operations/chip_check.h"
#include "support/scripted_device.h"

namespace tarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The request for part 136: index, algoParamA, algoParamB, device id, algoParamD.
const Bytes kRequest = {0xD0, 0x88, 0x00, 0x00, 0x02, 0x4B, 0x20, 0x00};

struct CheckCase {
    bool locked, wrongId;
    std::string box;
    bool trimRead;
};

TEST(ChipCheck, ResultsOfTheSimulatedChip) {
    const std::vector<CheckCase> cases = {
        {false, false, "<Debug>: TRIM0~4=0x11 0x22 0x33 0xA4 0x05", true},
        {true, false, "WARNING: Chip was locked !", false},
        {false, true, "FAIL: Device ID error !\nPlease select the correct Part No.", false},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.box);
        testing::LinkBench bench;
        sim::Scenario scenario = testing::singleScenario(0xA4);
        sim::SimChip chip;
        chip.locked = c.locked;
        chip.wrongDeviceId = c.wrongId;
        chip.trim = {0x11, 0x22, 0x33, 0xA4, 0x05};
        scenario.sockets = {chip};
        auto& device = bench.singlePort(scenario);
        bench.selectPart(136);
        ASSERT_TRUE(chipCheckApplies(bench.job));
        ReadBackState readBack;
        readBack.readComplete = true;

        const std::uint64_t start = bench.clock.nowMs();
        EXPECT_EQ(chipCheckWorker(bench.session, readBack), c.trimRead);
        EXPECT_EQ(bench.op.boxes(), std::vector<std::string>{c.box});
        EXPECT_EQ(readBack.readComplete, c.trimRead);
        Bytes expected = {0xC0, 0xC1};
        expected.insert(expected.end(), kRequest.begin(), kRequest.end());
        expected.push_back(0x00);
        EXPECT_EQ(device.line().hostWrites(), expected);
        EXPECT_EQ(bench.clock.nowMs() - start, 8u)
            << "1 ms after the version command and each value";
        EXPECT_TRUE(device.errors().empty());
    }
}

TEST(ChipCheck, UndefinedStatusGetsNoAnswerAndTheTrimBytesFollow) {
    testing::Scripts scripts;
    testing::addSingleIdentity(scripts, 0xA4);
    scripts[0xD0] = {testing::Script().reply({0xA5}).read(7).reply({3}).reply({1, 2, 3, 4, 5})};
    testing::ScriptedBench s(scripts);
    s.bench.selectPart(136);
    ReadBackState readBack;
    EXPECT_TRUE(chipCheckWorker(s.bench.session, readBack));
    EXPECT_EQ(s.bench.op.boxes(),
              std::vector<std::string>{"<Debug>: TRIM0~4=0x01 0x02 0x03 0x04 0x05"});
    EXPECT_EQ(s.commandWrites(), kRequest);

    s.bench.selectPart(135);
    EXPECT_FALSE(chipCheckApplies(s.bench.job));
}

}  // namespace
}  // namespace tarnel

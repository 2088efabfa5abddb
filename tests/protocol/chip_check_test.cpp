// Chip check: device id, lock state and the five trim bytes.

#include <gtest/gtest.h>

#include "operations/chip_check.h"
#include "support/link_bench.h"

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
        bench.selectPart(135);
        EXPECT_FALSE(chipCheckApplies(bench.job)) << "a part of the same block that is not Pike";
        bench.selectPart(136);
        ASSERT_TRUE(chipCheckApplies(bench.job));
        ReadBackState readBack;
        readBack.readComplete = true;

        const std::uint64_t start = bench.clock.nowMs();
        EXPECT_EQ(chipCheckWorker(bench.session, readBack), c.trimRead);
        EXPECT_EQ(bench.op.boxes(), std::vector<std::string>{c.box});
        EXPECT_EQ(readBack.readComplete, c.trimRead);
        EXPECT_EQ(device.line().hostWrites(),
                  testing::joinBytes({Bytes{0xC0, 0xC1}, kRequest, Bytes{0x00}}));
        EXPECT_EQ(bench.clock.nowMs() - start, 8u)
            << "1 ms after the version command and each value";
        EXPECT_TRUE(device.errors().empty());
    }
}

}  // namespace
}  // namespace tarnel

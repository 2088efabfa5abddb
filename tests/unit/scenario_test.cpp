// Scenario files of the simulator.

#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/scenario.h"

namespace tarnel::sim {
namespace {

TEST(Scenario, ReadsDeviceKindVersionAndFaults) {
    const Scenario s = parseScenario(R"({
        "device": "single", "kind": "ICP_Halvorn2_QB7710", "firmwareVersion": "0x0505",
        "faults": [ {"type": "lateReply", "step": 2, "delayMs": 1500},
                    {"type": "wrongByte", "step": "5", "value": "0x00"},
                    {"type": "noAnswer", "step": 7, "count": 0},
                    {"type": "lineCut", "step": 9} ] })");
    EXPECT_EQ(s.device, Scenario::Device::Single);
    EXPECT_EQ(s.kind, 0xB4);
    EXPECT_EQ(s.firmwareVersion, 0x0505);
    ASSERT_EQ(s.faults.size(), 4u);
    EXPECT_EQ(s.faults[0].kind, Fault::Kind::LateReply);
    EXPECT_EQ(s.faults[0].delayMs, 1500u);
    EXPECT_EQ(s.faults[1].step, 5);
    EXPECT_EQ(s.faults[1].value, std::optional<std::uint8_t>(0x00));
    EXPECT_EQ(s.faults[2].count, 0);
    EXPECT_EQ(s.faults[3].kind, Fault::Kind::LineCut);

    EXPECT_EQ(parseScenario(R"({"kind": 167})").kind, 0xA7);  // a byte outside the table
    EXPECT_EQ(parseScenario(R"({"kind": "0xaf"})").kind, 0xAF);
    EXPECT_EQ(parseScenario(R"({"device": "gang"})").device, Scenario::Device::Gang);
    EXPECT_EQ(parseScenario("{}").firmwareVersion, 0x0619);
}

TEST(Scenario, RejectsWhatItCannotPlay) {
    for (const char* bad :
         {"", "[]", "{", R"({"device": "triple"})", R"({"kind": "ICP_Nothing"})",
          R"({"kind": 256})", R"({"kind": -1})", R"({"firmwareVersion": "0x10000"})",
          R"({"faults": {}})", R"({"faults": [{"type": "meteor"}]})",
          R"({"faults": [{"type": "noAnswer", "step": 0}]})",
          R"({"faults": [{"type": "wrongByte", "value": "0x100"}]})",
          R"({"faults": [{"type": "lateReply", "delayMs": "soon"}]})"}) {
        EXPECT_THROW(parseScenario(bad), std::runtime_error) << bad;
    }
    EXPECT_THROW(loadScenario("/nonexistent/scenario.json"), std::runtime_error);
}

}  // namespace
}  // namespace tarnel::sim

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
                    {"type": "wrongByte", "step": "5", "value": "0x00"} ] })");
    EXPECT_EQ(s.device, Scenario::Device::Single);
    EXPECT_EQ(s.kind, 0xB4);
    EXPECT_EQ(s.firmwareVersion, 0x0505);
    ASSERT_EQ(s.faults.size(), 2u);
    EXPECT_EQ(s.faults[0].kind, Fault::Kind::LateReply);
    EXPECT_EQ(s.faults[0].delayMs, 1500u);
    EXPECT_EQ(s.faults[1].step, 5);
    EXPECT_EQ(s.faults[1].value, std::optional<std::uint8_t>(0x00));

    EXPECT_EQ(parseScenario(R"({"kind": 167})").kind, 0xA7);  // a byte outside the table
    EXPECT_EQ(parseScenario(R"({"kind": "0xaf"})").kind, 0xAF);
    EXPECT_EQ(parseScenario("{}").firmwareVersion, 0x0619);

    const DeviceTimes times =
        parseScenario(R"({"deviceTime": {"storageClearMs": 300, "programTickMs": 2}})").deviceTimes;
    EXPECT_EQ(times.storageClearMs, 300u);
    EXPECT_EQ(times.pageEraseMs, 0u);
    EXPECT_EQ(times.programTickMs, 2u);
}

TEST(Scenario, RejectsWhatItCannotPlay) {
    for (const char* bad :
         {"", "[]", "{", R"({"device": "triple"})", R"({"kind": "ICP_Nothing"})",
          R"({"kind": 256})", R"({"kind": -1})", R"({"firmwareVersion": "0x10000"})",
          R"({"faults": {}})", R"({"faults": [{"type": "meteor"}]})",
          R"({"faults": [{"type": "noAnswer", "step": 0}]})",
          R"({"faults": [{"type": "wrongByte", "value": "0x100"}]})",
          R"({"faults": [{"type": "lateReply", "delayMs": "soon"}]})", R"({"deviceTime": 5})",
          R"({"deviceTime": {"pageEraseMs": -1}})"}) {
        EXPECT_THROW(parseScenario(bad), std::runtime_error) << bad;
    }
    EXPECT_THROW(loadScenario("/nonexistent/scenario.json"), std::runtime_error);
}

TEST(Scenario, ReadsSocketsAndUnits) {
    const Scenario s = parseScenario(R"({
        "device": "gang", "gangRunMs": 300,
        "units": [ {"kind": "ICP_QB7710", "firmwareVersion": "0x0560"} ],
        "sockets": [ {"part": "QP508", "aprom": "01 02ab", "dataFlash": 0, "locked": true,
                      "config": "FFFFFFFFFFFF7F3A", "trim": [1, 2, 3, 4, 5]},
                     {"absent": true, "wrongDeviceId": true, "ldrom": 170} ] })");
    EXPECT_EQ(s.gangRunMs, 300u);
    EXPECT_EQ(s.units[0].kind, 0xA4);
    EXPECT_EQ(s.units[0].firmwareVersion, 0x0560);
    EXPECT_EQ(s.units[1].kind, 0xAB);
    ASSERT_EQ(s.sockets.size(), 2u);
    const SimChip& pike = s.sockets[0];
    EXPECT_EQ(pike.partIndex, std::optional<std::uint32_t>(136));  // the ICP row first
    ASSERT_EQ(pike.aprom.size(), 0x4000u);
    EXPECT_EQ(std::vector<std::uint8_t>(pike.aprom.begin(), pike.aprom.begin() + 4),
              (std::vector<std::uint8_t>{0x01, 0x02, 0xAB, 0xFF}));
    EXPECT_EQ(pike.dataFlash, std::vector<std::uint8_t>(0x3F00, 0x00));
    EXPECT_EQ(pike.config[6], 0x7F);
    EXPECT_EQ(pike.config[7], 0x3A);
    EXPECT_TRUE(pike.locked);
    EXPECT_EQ(pike.trim[4], 5);
    // Without a part the chip is sized when a programmer meets it, with its fill bytes.
    EXPECT_FALSE(s.sockets[1].present);
    EXPECT_TRUE(s.sockets[1].ldrom.empty());
    EXPECT_EQ(s.sockets[1].fill[2], 170);

    for (const char* bad :
         {R"({"sockets": [{}, {}]})", R"({"sockets": [{"part": "QX999"}]})",
          R"({"sockets": [{"aprom": "ABC"}]})", R"({"sockets": [{"config": "FF"}]})",
          R"({"units": [{}]})", R"({"device": "gang", "sockets": [{"locked": 1}]})"}) {
        EXPECT_THROW(parseScenario(bad), std::runtime_error) << bad;
    }
}

}  // namespace
}  // namespace tarnel::sim

#pragma once
// A scenario: which device the simulator plays and what goes wrong. JSON, for example
//
//   { "device": "single", "kind": "ICP_Vexa", "firmwareVersion": "0x0600",
//     "faults": [ { "type": "lateReply", "step": 2, "delayMs": 1500 },
//                 { "type": "wrongByte", "step": 5, "value": "0x00" },
//                 { "type": "noAnswer", "step": 7, "count": 0 },
//                 { "type": "lineCut", "step": 9 } ] }
//
// "device" is "single" (default) or "gang". "kind" is a variant name ("ICP", "ISP_only",
// ...) or any identity byte as a number or "0x.." text, so a programmer of an unknown kind
// can be played too; it is ignored for the gang programmer. Steps count the device's
// answers from 1 (see DeviceLine).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device_line.h"
#include "sim/sim_programmer.h"

namespace tarnel::sim {

struct Scenario {
    enum class Device { Single, Gang };
    Device device = Device::Single;
    std::uint8_t kind = 0xAB;
    std::uint16_t firmwareVersion = 0x0619;
    std::vector<Fault> faults;
};

// Throws std::runtime_error with a message that names the offending field.
Scenario parseScenario(std::string_view json);
Scenario loadScenario(const std::string& path);

// The device a scenario describes, serving on the given line.
std::unique_ptr<SimDevice> makeDevice(const Scenario& scenario, DeviceLine& line);

}  // namespace tarnel::sim

#pragma once
// A scenario: which device the simulator plays and what goes wrong. JSON, for example
//
//   { "device": "single", "kind": "ICP_Vexa", "firmwareVersion": "0x0600",
//     "faults": [ { "type": "lateReply", "step": 2, "delayMs": 1500 },
//                 { "type": "wrongByte", "step": 5, "value": "0x00" },
//                 { "type": "noAnswer", "step": 7, "count": 0 },
//                 { "type": "lineCut", "step": 9 } ] }
//
// "device" is "single" (default), "gang" or "bootloader". "kind" is a variant name ("ICP",
// "ISP_only",
// ...) or any identity byte as a number or "0x.." text, so a programmer of an unknown kind
// can be played too; it is ignored for the gang programmer. Steps count the device's
// answers from 1 (see DeviceLine).
//
// The chips in the sockets (one for a single programmer, up to four for a gang) and the gang
// programmer's units:
//
//   "sockets": [ { "part": 131, "aprom": 0, "ldrom": "0102AB", "config": "FFFFFFFFFFFFFF7F",
//                  "locked": true, "wrongDeviceId": false, "absent": false,
//                  "trim": [1, 2, 3, 4, 5] } ],
//   "units": [ { "kind": "ICP", "firmwareVersion": "0x0619", "wholeReport": true } ],
//   "gangRunMs": 1500, "wholeReport": true
//
// "wholeReport" plays a programmer that sends its whole stored-setup report (all 0xFF when it
// holds nothing) before it reads the host's decision byte; at the top level it applies to
// the single programmer and to every gang unit.
//
// "part" is a catalogue index or a part number; without it the chip is of whatever part the
// programmer stores. A region given as a number is filled with that byte; as text it is hex
// content from address 0 (the rest 0xFF). "config" is 16 hex digits in the order of the
// job's CONFIG bytes, or an array of eight numbers. Units not listed are ICP programmers
// with firmware 0x0619.
//
// A chip boot loader ("device": "bootloader") serves the chips listed in "chips" one after
// another (one plain chip when none are listed); each takes the socket fields above and
//
//   { "baudCode": "0x26", "leadingAnswers": ["0x25"], "resetAfterProbes": 20,
//     "resetAfterMs": 0, "eraseMs": 200 }
//
// The programmer's own work takes time when "deviceTime" says so (all 0 by default):
//
//   "deviceTime": { "storageClearMs": 400, "pageEraseMs": 5, "programTickMs": 3 }

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device_line.h"
#include "sim/sim_bootloader.h"
#include "sim/sim_programmer.h"

namespace tarnel::sim {

struct Scenario {
    enum class Device { Single, Gang, Bootloader };
    Device device = Device::Single;
    std::uint8_t kind = 0xAB;
    std::uint16_t firmwareVersion = 0x0619;
    std::vector<Fault> faults;
    std::vector<SimChip> sockets;
    std::array<UnitSetup, kGangUnits> units{};
    std::uint32_t gangRunMs = kDefaultGangRunMs;
    // The programmer (every gang unit) sends its whole stored-setup report before it reads
    // the host's decision byte.
    bool wholeReport = false;
    std::vector<BootChip> bootChips;
    DeviceTimes deviceTimes;
};

// Throws std::runtime_error with a message that names the offending field.
Scenario parseScenario(std::string_view json);
Scenario loadScenario(const std::string& path);

// The device a scenario describes, serving on the given line.
std::unique_ptr<SimDevice> makeDevice(const Scenario& scenario, DeviceLine& line);

}  // namespace tarnel::sim

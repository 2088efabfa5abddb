#pragma once
// A line file ("line.json") describes a line of stations run from one PC: each station's port
// and project, and where the line's serial-number ledger and production record live.
//
// {
//   "stations": [
//     {"name": "A", "kind": "programmer", "port": "/dev/serial/by-id/usb-...",
//      "project": "widget.prj"},
//     {"name": "B", "kind": "isp", "port": "/dev/ttyUSB1", "project": "widget.prj"}
//   ],
//   "ledger": "serials.ledger",            (or "postgresql://host/db")
//   "record": "records",                   (a directory, or "postgresql://host/db")
//   "serial": {"first": "0000000000001000", "increment": "1"}
// }
//
// Relative paths are taken from the line file's own directory.

#include <optional>
#include <string>
#include <vector>

#include "core/serial_ledger.h"

namespace tarnel {

enum class StationKind { Programmer, IspComPort };  // "programmer", "isp"

struct StationSetup {
    std::string name;  // unique within the line; letters, digits, '-' and '_'
    StationKind kind = StationKind::Programmer;
    std::string port;     // the stable device name (/dev/serial/by-id/..., COMn)
    std::string project;  // the project file the station runs (absolute)
    // The station's own working directory (its settings file and state); by default
    // "stations/<name>" beside the line file.
    std::string workDirectory;
};

struct LineSetup {
    std::string path;  // the line file itself (absolute)
    std::vector<StationSetup> stations;
    std::string ledger;  // absolute file path or "postgresql://..." URI
    std::string record;  // absolute directory or "postgresql://..." URI
    SerialValue firstSerial{0, 1};
    SerialValue serialIncrement{0, 1};
};

// Reads and checks a line file; empty with a message naming the file and the fault.
std::optional<LineSetup> loadLineFile(const std::string& path, std::string* error);

}  // namespace tarnel

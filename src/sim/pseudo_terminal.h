#pragma once
// A pseudo-terminal for the simulator: the device serves the master side; the host opens the
// slave by its path like any serial port. The simulator keeps a slave descriptor of its own
// open, so the host may close and reopen the port without the master seeing a hang-up, and
// puts the line in raw mode so nothing is echoed before the host configures it.

#include <optional>
#include <string>

#include "link/posix_serial_port.h"

#if !defined(_WIN32)
namespace tarnel::sim {

struct PseudoTerminal {
    FileDescriptor master;
    FileDescriptor slaveHold;
    std::string slavePath;
};

// Null with a reason in error when the system has no pseudo-terminal to give.
std::optional<PseudoTerminal> openPseudoTerminal(std::string& error);

// The line settings the host has configured on the terminal (the master side reads what the
// slave was set to). A speed that is not a standard one reads as 115200.
LineSettings terminalLineSettings(int fd);

}  // namespace tarnel::sim
#endif  // _WIN32

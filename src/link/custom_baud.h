#pragma once
// Baud rates without a termios constant (14400, 28800, ...), set on an open terminal after its
// other settings. Kept apart because the kernel's termios2 header clashes with <termios.h>.

#include <cstdint>

namespace tarnel {

// False where the platform cannot set an arbitrary rate.
bool setCustomBaudRate(int fd, std::uint32_t baud);

// Asks the driver to hand received bytes on at once rather than batching them (the serial
// driver's low-latency flag). Best effort: drivers and terminals without it are left as they
// are.
void requestLowLatency(int fd);

}  // namespace tarnel

#pragma once
// The port factory of the platform the program is built for: COM1..COM256 through Win32 on
// Windows, the POSIX port table and termios elsewhere.

#if defined(_WIN32)
#include "link/win32_serial_port.h"

namespace tarnel {
class Clock;
// Win32 ports keep time in the driver; the clock is not needed.
class SystemPortFactory : public Win32PortFactory {
  public:
    explicit SystemPortFactory(Clock&) {}
};
}  // namespace tarnel
#else
#include "link/posix_serial_port.h"

namespace tarnel {
using SystemPortFactory = PosixPortFactory;
}  // namespace tarnel
#endif

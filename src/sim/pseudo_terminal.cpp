#include "sim/pseudo_terminal.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace tarnel::sim {

std::optional<PseudoTerminal> openPseudoTerminal(std::string& error) {
    auto fail = [&error](const char* step) {
        error = std::string(step) + ": " + std::strerror(errno);
        return std::nullopt;
    };
    PseudoTerminal pty;
    pty.master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.master.valid())
        return fail("posix_openpt");
    if (::grantpt(pty.master.get()) != 0)
        return fail("grantpt");
    if (::unlockpt(pty.master.get()) != 0)
        return fail("unlockpt");
    std::array<char, 128> name{};
    if (::ptsname_r(pty.master.get(), name.data(), name.size()) != 0)
        return fail("ptsname");
    pty.slavePath = name.data();
    pty.slaveHold.reset(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.slaveHold.valid())
        return fail("open slave");
    termios tio{};
    if (::tcgetattr(pty.slaveHold.get(), &tio) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&tio);
    if (::tcsetattr(pty.slaveHold.get(), TCSANOW, &tio) != 0)
        return fail("tcsetattr");
    return pty;
}

}  // namespace tarnel::sim

namespace tarnel::sim {

namespace {

std::uint32_t baudOf(speed_t speed) {
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B230400:
            return 230400;
        default:
            return 115200;
    }
}

}  // namespace

LineSettings terminalLineSettings(int fd) {
    LineSettings settings;
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return settings;
    settings.baudRate = baudOf(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings.byteSize = 5;
            break;
        case CS6:
            settings.byteSize = 6;
            break;
        case CS7:
            settings.byteSize = 7;
            break;
        default:
            settings.byteSize = 8;
            break;
    }
    if (tio.c_cflag & PARENB)
        settings.parity = (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    if (tio.c_cflag & CSTOPB)
        settings.stopBits = settings.byteSize == 5 ? StopBits::OnePointFive : StopBits::Two;
    return settings;
}

}  // namespace tarnel::sim

#endif  // _WIN32

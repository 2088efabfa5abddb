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

#endif  // _WIN32

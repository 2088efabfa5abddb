#include "link/posix_serial_port.h"

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "link/custom_baud.h"
#include "link/port_table.h"

namespace tarnel {

namespace {

// Every system call that a signal may interrupt goes through here.
template <typename Call>
auto retryOnEintr(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

speed_t standardSpeed(std::uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

tcflag_t characterSize(std::uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

constexpr std::uint64_t kUsPerMs = 1000;

}  // namespace

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

PosixSerialPort::PosixSerialPort(FileDescriptor fd, Clock& clock, bool exclusive)
    : fd_(std::move(fd)), clock_(clock), exclusive_(exclusive) {}

std::unique_ptr<PosixSerialPort> PosixSerialPort::open(const std::string& path, Clock& clock) {
    // O_NONBLOCK: the open must not wait for a carrier, and reads and writes wait in poll().
    FileDescriptor fd(retryOnEintr(
        [&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (!fd.valid() || !::isatty(fd.get()))
        return nullptr;
    // The flock keeps out every other process that opens ports this way, root included;
    // TIOCEXCL keeps out ordinary processes that do not.
    if (retryOnEintr([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0)
        return nullptr;
    if (::ioctl(fd.get(), TIOCEXCL) != 0)
        return nullptr;
    // A fresh open starts with nothing to read: what arrived while the port was closed (the
    // tail of a reply the host stopped reading) must not be taken for the next reply.
    ::tcflush(fd.get(), TCIFLUSH);
    requestLowLatency(fd.get());
    return std::unique_ptr<PosixSerialPort>(new PosixSerialPort(std::move(fd), clock, true));
}

std::unique_ptr<PosixSerialPort> PosixSerialPort::adopt(FileDescriptor fd, Clock& clock) {
    if (!fd.valid())
        return nullptr;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags == -1 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) == -1)
        return nullptr;
    return std::unique_ptr<PosixSerialPort>(new PosixSerialPort(std::move(fd), clock, false));
}

PosixSerialPort::~PosixSerialPort() {
    if (!exclusive_ || !fd_.valid())
        return;
    if (saved_)
        ::tcsetattr(fd_.get(), TCSANOW, &original_);
    ::ioctl(fd_.get(), TIOCNXCL);
}

bool PosixSerialPort::configure(const LineSettings& settings) {
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0)
        return false;
    if (!saved_ && exclusive_) {
        original_ = tio;
        saved_ = true;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
#ifdef CMSPAR
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    tio.c_cflag |= characterSize(settings.byteSize) | CLOCAL | CREAD;
    if (settings.stopBits != StopBits::One)
        tio.c_cflag |= CSTOPB;
    switch (settings.parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case Parity::Even:
            tio.c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case Parity::Mark:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case Parity::Space:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
#else
        case Parity::Mark:
        case Parity::Space:
            return false;
#endif
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
    if (settings.parityCheck)
        tio.c_iflag |= INPCK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    const speed_t speed = standardSpeed(settings.baudRate);
    const bool custom = speed == B0;
    if (!custom && (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0))
        return false;
    if (retryOnEintr([&] { return ::tcsetattr(fd_.get(), TCSANOW, &tio); }) != 0)
        return false;
    if (custom && !setCustomBaudRate(fd_.get(), settings.baudRate))
        return false;
    characterNs_ = characterTimeNs(settings);

    // DTR and RTS low after configuration; a pseudo-terminal has neither, so failures here
    // are expected there and do not matter.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_.get(), TIOCMBIC, &lines);
    return true;
}

bool PosixSerialPort::setTimeouts(const Timeouts& timeouts) {
    timeouts_ = timeouts;
    return true;
}

PosixSerialPort::Wait PosixSerialPort::waitFor(short events, std::uint64_t deadlineUs) {
    if (!fd_.valid())
        return Wait::Failed;
    requestFineTimerSlack();
    for (;;) {
        timespec wait{};
        const timespec* timeout = nullptr;
        if (deadlineUs != ReadTimer::kNever) {
            const std::uint64_t now = clock_.nowUs();
            if (now >= deadlineUs)
                return Wait::TimedOut;
            // The kernel lets a poll run late by a thousandth of its length: wait most of the
            // way first, then the short rest, so the deadline is kept to a few microseconds.
            std::uint64_t span = deadlineUs - now;
            if (span > 2 * kUsPerMs)
                span -= span / 500;
            wait.tv_sec = static_cast<time_t>(span / 1000000);
            wait.tv_nsec = static_cast<long>(span % 1000000) * 1000;
            timeout = &wait;
        }
        pollfd entry{fd_.get(), events, 0};
        const int ready = ::ppoll(&entry, 1, timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;  // recompute the time left and wait again
            return Wait::Failed;
        }
        if (ready == 0)
            continue;  // the deadline check above decides
        if (entry.revents & events)
            return Wait::Ready;
        return Wait::Failed;  // POLLHUP, POLLERR or POLLNVAL without data: the device is gone
    }
}

Transfer PosixSerialPort::read(std::uint8_t* buffer, std::size_t count) {
    const std::uint64_t start = clock_.nowUs();
    const ReadTimer timer(timeouts_, count, start, kUsPerMs);
    std::uint64_t lastByte = start;
    std::size_t received = 0;
    bool slept = false;  // the last wait was a sleep for the rest of a block
    while (received < count) {
        Wait wait = Wait::Ready;
        if (!timer.returnAtOnce()) {
            const std::uint64_t deadline = timer.deadline(received, lastByte);
            // A block is arriving: sleep for the time its rest needs on the line instead of
            // waking for every few bytes the driver hands on, then take what has come. If
            // nothing has, wait in poll for the rest.
            const std::uint64_t due = clock_.nowUs() + (count - received) * characterNs_ / 1000;
            if (received > 0 && characterNs_ != 0 && !slept && due < deadline) {
                clock_.sleepUntilUs(due);
                slept = true;
            } else {
                wait = waitFor(POLLIN, deadline);
                slept = false;
            }
        }
        if (wait == Wait::TimedOut)
            break;
        if (wait == Wait::Failed)
            return {false, received};
        const ssize_t got =
            retryOnEintr([&] { return ::read(fd_.get(), buffer + received, count - received); });
        if (got > 0) {
            received += static_cast<std::size_t>(got);
            lastByte = clock_.nowUs();
            slept = false;
            continue;
        }
        // Nothing there: after a sleep a raw terminal reads as empty (0), not EAGAIN.
        if ((got < 0 && errno == EAGAIN) || (got == 0 && slept)) {
            if (timer.returnAtOnce())
                break;
            continue;
        }
        if (got == 0 && timer.returnAtOnce())
            break;
        // EIO, ENXIO, or end of file after poll reported data: the device went away.
        return {false, received};
    }
    return {true, received};
}

Transfer PosixSerialPort::readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) {
    clock_.sleepUntilUs(clock_.nowUs() + waitUs);
    const Timeouts kept = timeouts_;
    timeouts_ = Timeouts{kReadReturnAtOnce, 0, 0, 0, 0};
    const Transfer transfer = read(buffer, count);
    timeouts_ = kept;
    return transfer;
}

Transfer PosixSerialPort::write(const std::uint8_t* data, std::size_t count) {
    const std::uint64_t deadline = writeDeadline(timeouts_, count, clock_.nowUs(), kUsPerMs);
    std::size_t written = 0;
    while (written < count) {
        const ssize_t put =
            retryOnEintr([&] { return ::write(fd_.get(), data + written, count - written); });
        if (put > 0) {
            written += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN)
            return {false, written};
        const Wait wait = waitFor(POLLOUT, deadline);
        if (wait == Wait::TimedOut)
            break;
        if (wait == Wait::Failed)
            return {false, written};
    }
    return {true, written};
}

bool PosixSerialPort::setDtr(bool high) {
    int line = TIOCM_DTR;
    return ::ioctl(fd_.get(), high ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

std::vector<std::string> PosixPortFactory::portTable() {
    return buildPosixPortTable(std::getenv("TARNEL_PORTS"));
}

std::unique_ptr<SerialPort> PosixPortFactory::open(const std::string& device) {
    if (device.empty())
        return nullptr;
    return PosixSerialPort::open(device, clock_);
}

}  // namespace tarnel

#endif  // _WIN32

#pragma once
// The serial port on POSIX: termios in raw mode, waits in poll() with the read and write
// time-outs, exclusive open (TIOCEXCL and an flock, so that a second process cannot open a
// port in use), DTR through TIOCMBIS/TIOCMBIC. A device that goes away mid-transfer (EIO,
// ENXIO, hang-up) fails that transfer.

#include <memory>
#include <string>

#include "core/clock.h"
#include "link/serial_port.h"

#ifndef _WIN32
#include <termios.h>

namespace tarnel {

// A move-only file descriptor that closes itself.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

class PosixSerialPort : public SerialPort {
  public:
    // Opens a terminal device exclusively; null when it does not exist, is not a terminal,
    // or is in use elsewhere.
    static std::unique_ptr<PosixSerialPort> open(const std::string& path, Clock& clock);
    // Wraps a terminal already open, such as the master side of a pseudo-terminal. No lock is
    // taken and nothing is restored on close.
    static std::unique_ptr<PosixSerialPort> adopt(FileDescriptor fd, Clock& clock);

    ~PosixSerialPort() override;

    bool configure(const LineSettings& settings) override;
    bool setTimeouts(const Timeouts& timeouts) override;
    Transfer read(std::uint8_t* buffer, std::size_t count) override;
    Transfer readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) override;
    Transfer write(const std::uint8_t* data, std::size_t count) override;
    bool setDtr(bool high) override;

    int fd() const { return fd_.get(); }
    // Closes the descriptor now: the line is cut and every later transfer fails.
    void hangUp() { fd_.reset(); }

  private:
    PosixSerialPort(FileDescriptor fd, Clock& clock, bool exclusive);

    enum class Wait { Ready, TimedOut, Failed };
    // Waits in poll() for the events until the deadline in microseconds of the clock
    // (ReadTimer::kNever: no limit).
    Wait waitFor(short events, std::uint64_t deadlineUs);

    FileDescriptor fd_;
    Clock& clock_;
    bool exclusive_;
    bool saved_ = false;
    termios original_{};
    Timeouts timeouts_;
    // One character's time on the line as configured; 0 (no waiting for the rest of a block)
    // on an adopted terminal, whose other side writes whole blocks at once.
    std::uint64_t characterNs_ = 0;
};

// Ports from the POSIX port table (TARNEL_PORTS, then the serial devices present).
class PosixPortFactory : public PortFactory {
  public:
    explicit PosixPortFactory(Clock& clock) : clock_(clock) {}
    std::vector<std::string> portTable() override;
    std::unique_ptr<SerialPort> open(const std::string& device) override;

  private:
    Clock& clock_;
};

}  // namespace tarnel

#endif  // _WIN32

#pragma once
// A serial port as the programmer link sees it: open by name, line settings, the five
// time-out values, read and write of n bytes reporting how many moved, DTR. One
// implementation per platform (posix_serial_port.h) plus an in-process loopback pair for
// tests (loopback_port.h). A port object is the open port: destroying it closes it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarnel {

enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, OnePointFive = 1, Two = 2 };

struct LineSettings {
    std::uint32_t baudRate = 115200;
    std::uint8_t byteSize = 8;
    bool parityCheck = false;  // check the parity of received bytes
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// The five time-out values, in milliseconds, with these meanings:
// - a read of n bytes ends with what has arrived when more than readInterval ms pass
//   between two bytes (0: no interval limit), or when readTotalMultiplier * n +
//   readTotalConstant ms have passed since it began (both 0: no total limit);
//   readInterval = kReadReturnAtOnce with both totals 0 returns at once with what is there;
// - a write of n bytes fails when it takes longer than writeTotalMultiplier * n +
//   writeTotalConstant ms (both 0: no limit).
struct Timeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;

    friend bool operator==(const Timeouts&, const Timeouts&) = default;
};

inline constexpr std::uint32_t kReadReturnAtOnce = 0xFFFFFFFF;

// Outcome of one read or write: ok is false when the call itself failed (the device went
// away, a line error); count is how many bytes moved, which may be short of what was asked
// when the time-out ended the transfer.
struct Transfer {
    bool ok = false;
    std::size_t count = 0;
};

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool configure(const LineSettings& settings) = 0;
    virtual bool setTimeouts(const Timeouts& timeouts) = 0;
    virtual Transfer read(std::uint8_t* buffer, std::size_t count) = 0;
    // Waits waitUs on the port's own clock, then takes up to `count` bytes that have come by
    // then, without waiting further; the time-outs stay as they were. For a reader that knows
    // bytes are on their way one by one and would rather take them in one go than wake for
    // each.
    virtual Transfer readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) = 0;
    virtual Transfer write(const std::uint8_t* data, std::size_t count) = 0;
    virtual bool setDtr(bool high) = 0;
};

// Where ports come from: the port table and the opening of a port by device name.
class PortFactory {
  public:
    virtual ~PortFactory() = default;

    // The device names of slots 1..256 as they are now; entry i is slot i + 1. Slots past
    // the end of the vector, and empty entries, hold no port.
    virtual std::vector<std::string> portTable() = 0;

    // Opens the device exclusively; null when it does not exist, is in use elsewhere or
    // cannot be opened.
    virtual std::unique_ptr<SerialPort> open(const std::string& device) = 0;
};

// How long one character takes on a line with these settings (start bit, data bits, parity
// bit, stop bits), in nanoseconds.
std::uint64_t characterTimeNs(const LineSettings& settings);

// Deadlines of one read under a set of time-outs, shared by every implementation so that
// they all end reads alike.
class ReadTimer {
  public:
    static constexpr std::uint64_t kNever = ~std::uint64_t{0};

    // Times are in milliseconds, or in finer units (unitsPerMs to the millisecond) for a port
    // that reads a finer clock.
    ReadTimer(const Timeouts& timeouts, std::size_t count, std::uint64_t start,
              std::uint64_t unitsPerMs = 1);

    // True when the read must return with what is there, without waiting.
    bool returnAtOnce() const { return returnAtOnce_; }

    // The moment the read ends if no further byte arrives, given how many bytes have arrived
    // and when the last one did; kNever when it may wait without end.
    std::uint64_t deadline(std::size_t received, std::uint64_t lastByte) const;

  private:
    std::uint64_t totalDeadline_ = kNever;
    std::uint32_t interval_ = 0;
    std::uint64_t unitsPerMs_ = 1;
    bool returnAtOnce_ = false;
};

// Time allowed for a write of count bytes, or ReadTimer::kNever (no limit).
std::uint64_t writeDeadline(const Timeouts& timeouts, std::size_t count, std::uint64_t start,
                            std::uint64_t unitsPerMs = 1);

}  // namespace tarnel

#pragma once
// The one serial port through which the system talks to a programmer or, in ISP-by-COM-port
// mode, to a chip's boot loader: opening with fixed line settings, the time-out profiles,
// byte and block transfers, the port scan, the port list and DTR. No framing and no
// messages: every operation answers true or false and the callers word the messages.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "link/serial_port.h"

namespace tarnel {

// Time-out profiles (read interval, read multiplier, read constant, write multiplier, write
// constant; milliseconds). The standard profile is in force whenever no operation asked for
// another.
inline constexpr Timeouts kStandardTimeouts{1000, 1, 1000, 1, 1000};
inline constexpr Timeouts kProbeTimeouts{1, 1, 10, 1, 10};            // the port scan probe
inline constexpr Timeouts kLongWaitTimeouts{8000, 1, 8000, 1, 8000};  // programmer at work
inline constexpr Timeouts kEraseTimeouts{5000, 1, 5000, 1, 5000};     // storage or chip erase
inline constexpr Timeouts kShortGangTimeouts{200, 1, 200, 1, 200};    // within the gang update
inline constexpr Timeouts kChipDetectTimeouts{2, 1, 2, 1, 2};         // UART ISP detection

inline constexpr std::uint32_t kProgrammerBaudRate = 115200;

// A drain that reads this many bytes without the line falling silent gives up on the port:
// a device that never stops sending counts as not answering.
inline constexpr int kDrainLimit = 4096;

// Before the identify exchange of a connect that follows a reply cut short or a failed
// exchange, the line must have been silent this long: the tail of that reply may still be on
// its way, and a USB adapter may hold bytes back for up to its latency timer.
inline constexpr Timeouts kQuietBeforeIdentify{0, 0, 50, 1, 1000};

// The sixteen bytes a programmer may answer to the identify command.
bool isProgrammerIdentity(std::uint8_t byte);

class ProgrammerLink;

// A run of one-byte answers the programmer sends one by one as it works through pages (an
// acknowledge or a result each, about a millisecond apart). Waking for every one would cost
// a thousand wake-ups per update: once two have come, the run sleeps for the time several
// more take (at most kBatchUs) and takes all that has arrived. Near the end it waits in the
// read as before, so the run's last answer is taken when it comes.
class TickRun {
  public:
    explicit TickRun(int count) : left_(count) {}
    // The next answer, under the link's current time-outs; false when the link failed or the
    // answer did not come.
    bool next(ProgrammerLink& link, Clock& clock, std::uint8_t& value);

  private:
    static constexpr int kTail = 3;
    static constexpr std::uint64_t kBatchUs = 16000;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t have_ = 0;
    std::size_t taken_ = 0;
    int left_;      // answers of the run not yet read from the link
    int seen_ = 0;  // answers read so far
    std::uint64_t firstUs_ = 0;
    std::uint64_t lastUs_ = 0;
};

class ProgrammerLink {
  public:
    ProgrammerLink(PortFactory& ports, Clock& clock);

    bool configureLine(std::uint32_t baudRate, std::uint8_t byteSize, std::uint32_t parityCheck,
                       Parity parity, StopBits stopBits);
    bool setTimeouts(std::uint32_t readInterval, std::uint32_t readTotalMultiplier,
                     std::uint32_t readTotalConstant, std::uint32_t writeTotalMultiplier,
                     std::uint32_t writeTotalConstant);
    bool setTimeouts(const Timeouts& timeouts);

    bool readByte(std::uint8_t& value);
    bool readBytes(std::uint8_t* buffer, std::uint32_t count);
    // After waitUs, up to `max` bytes that have arrived by then (SerialPort::readAfter);
    // false when the port failed.
    bool readAfter(std::uint8_t* buffer, std::size_t max, std::uint64_t waitUs, std::size_t& got);
    bool writeByte(std::uint8_t value);
    bool writeBytes(const std::uint8_t* buffer, std::uint32_t count);

    // Opens a port by name (a remembered-style name or a device path) with the standard
    // time-outs.
    bool open(std::string_view name, std::uint32_t baudRate);
    bool openWithTimeout(std::string_view name, std::uint32_t baudRate, std::uint32_t timeout);
    void close();
    bool isOpen() const { return port_ != nullptr; }

    // Scans slots 1..256 for a programmer; on success the port stays open (two stop bits,
    // standard time-outs) and its remembered-style name is returned.
    std::optional<std::string> findProgrammerPort();

    // Lists the ports that can be opened now, in slot order, as remembered-style names.
    bool listAvailablePorts();
    const std::vector<std::string>& availablePorts() const { return availablePorts_; }

    // Reads and discards what arrives, one byte per read under the `quiet` profile, until a
    // read finds the line silent; at most kDrainLimit bytes. False when it never fell silent
    // or the port failed. The time-outs in force before are restored.
    bool drainUntilQuiet(const Timeouts& quiet);

    bool clearDtr();
    bool setDtr();

    // A port name as the operator sees it: the device it stands for, without its prefix.
    std::string portText(std::string_view name);

    Clock& clock() { return clock_; }
    const Timeouts& timeouts() const { return timeouts_; }
    const LineSettings& lineSettings() const { return lineSettings_; }

  private:
    // Opens the device behind a name and configures it with one stop bit and the time-outs.
    bool openConfigured(std::string_view name, std::uint32_t baudRate, const Timeouts& timeouts);
    // One candidate of the scan: true when a programmer answered; the port is closed if not.
    bool probe(const std::string& device);

    PortFactory& ports_;
    Clock& clock_;
    std::unique_ptr<SerialPort> port_;
    LineSettings lineSettings_;
    Timeouts timeouts_;
    std::vector<std::string> availablePorts_;
};

}  // namespace tarnel

#pragma once
// The simulated device's side of the line: waits for a command, reads and checks the bytes
// the host sends, answers, and injects the faults of its scenario into its answers.
//
// A step is one answer of the device (one byte, or one block such as a 3-byte checksum),
// counted from 1 over the device's life. A fault hits the steps from its step on, count of
// them (0: every later step).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "link/serial_port.h"

namespace tarnel::sim {

struct Fault {
    enum class Kind { NoAnswer, WrongByte, LateReply, LineCut };
    Kind kind = Kind::NoAnswer;
    int step = 1;
    int count = 1;                      // steps affected; 0: all from step on
    std::optional<std::uint8_t> value;  // WrongByte: the byte sent instead of the first
    std::uint32_t delayMs = 0;          // LateReply: how late
};

// One answer as the device meant it, before any fault: its first byte, its length and how
// many bytes the host had sent since the answer before. Tests tell the exchanges of a command
// apart by these.
struct AnswerRecord {
    std::uint8_t first = 0;
    std::size_t size = 0;
    std::size_t heardBefore = 0;
    bool operator==(const AnswerRecord&) const = default;
};

// How long the device's own work takes (0: no time at all).
struct DeviceTimes {
    std::uint32_t storageClearMs = 0;  // clearing the programmer's storage before a download
    std::uint32_t pageEraseMs = 0;     // erasing one 256-byte page of the chip
    std::uint32_t programTickMs = 0;   // one programming tick (two per 256-byte page)
};

class DeviceLine {
  public:
    // idleWait: how long one wait for a command lasts before the stop request is looked at
    // again (0: wait until a byte comes or the line is gone). byteWait: how long the device
    // waits for the next byte within a command before it gives the command up.
    DeviceLine(SerialPort& port, Clock& clock, std::vector<Fault> faults,
               std::uint32_t idleWaitMs = 0, std::uint32_t byteWaitMs = 5000);

    // Holds both directions to the line's speed from now on: a byte the host sends reaches
    // the device one character time after the line is free, and answers leave the device at
    // the same pace, in bursts of at most kPacedBurst bytes as a UART's FIFO hands them on.
    // settings() reads what the host has configured, at every transfer.
    static constexpr std::size_t kPacedBurst = 16;
    void pace(std::function<LineSettings()> settings) { settings_ = std::move(settings); }
    bool paced() const { return static_cast<bool>(settings_); }
    // How much later than their time on the line the paced answers were complete, in total
    // (the simulator's own wake-up latency, which a benchmark must not blame on the host).
    // A run of answers that catches up counts its lateness once.
    const std::atomic<std::uint64_t>& lateNs() const { return lateNs_; }

    void setDeviceTimes(const DeviceTimes& times) { times_ = times; }
    const DeviceTimes& deviceTimes() const { return times_; }
    // The device works for ms (erasing, programming, ...): the time passes on the clock and
    // is counted in workUs(), with the time poll() listened for a byte that did not come. On
    // a paced line the work is counted once the answer that follows it is sent.
    void work(std::uint32_t ms);
    std::uint64_t workUs() const { return workUs_; }
    const std::atomic<std::uint64_t>& workCounter() const { return workUs_; }

    // Called when a LineCut fault fires: closes the line for good.
    void setCutHandler(std::function<void()> cut) { cutLine_ = std::move(cut); }
    // Called with each protocol error as it is recorded.
    void setErrorHandler(std::function<void(const std::string&)> report) {
        reportError_ = std::move(report);
    }

    // The next command byte; nullopt when the line is gone or a stop was requested.
    std::optional<std::uint8_t> nextCommand();

    // Reads within a command; false (with an error recorded) when the host stops sending.
    bool read(std::uint8_t& byte);
    bool readBlock(std::uint8_t* buffer, std::size_t count);
    // Reads one byte that must be the expected one; a different byte is a protocol error.
    bool expect(std::uint8_t expected, std::string_view what);
    // A byte the host may or may not send within waitMs; nullopt when none came.
    std::optional<std::uint8_t> poll(std::uint32_t waitMs);

    // One step each: an answer of one byte or one block, with the faults applied.
    bool reply(std::uint8_t byte);
    bool replyBlock(const std::uint8_t* data, std::size_t count);

    void requestStop() { stop_ = true; }
    // Also stop when this flag is set (by a signal handler, for instance).
    void watchStopFlag(const std::atomic<bool>& flag) { externalStop_ = &flag; }
    bool isCut() const { return cut_; }
    Clock& clock() { return clock_; }

    // Protocol errors seen so far ("expected 0x5A after block 8, got 0x00", ...).
    void recordError(std::string text);
    std::vector<std::string> errors() const;
    int steps() const { return steps_; }
    // Replaces the scenario's faults (steps still count over the line's life).
    void setFaults(std::vector<Fault> faults);
    // Every answer so far, step 1 first.
    std::vector<AnswerRecord> answers() const;

  private:
    std::optional<Fault> faultAt(int step) const;
    // Pacing: count bytes have been taken from the port; notes when the last of them could
    // have arrived.
    void arrived(std::size_t count);
    bool send(const std::uint8_t* data, std::size_t count);

    SerialPort& port_;
    Clock& clock_;
    std::vector<Fault> faults_;
    Timeouts idle_;
    Timeouts inCommand_;
    std::function<void()> cutLine_;
    std::function<void(const std::string&)> reportError_;
    std::atomic<bool> stop_{false};
    const std::atomic<bool>* externalStop_ = nullptr;
    std::atomic<bool> cut_{false};
    std::atomic<int> steps_{0};
    std::function<LineSettings()> settings_;
    std::uint64_t inboundFreeNs_ = 0;  // when the host-to-device direction is free again
    std::uint64_t doneNs_ = 0;         // when the device's work is done
    std::uint64_t outboundFreeNs_ = 0;
    DeviceTimes times_;
    std::atomic<std::uint64_t> workUs_{0};
    std::atomic<std::uint64_t> lateNs_{0};
    std::uint64_t carriedLateNs_ = 0;  // the lateness the current run of answers carries
    std::uint64_t pendingWorkUs_ = 0;  // paced work not yet followed by an answer
    mutable std::mutex mutex_;
    std::vector<std::string> errors_;
    std::size_t heard_ = 0;  // host bytes read since the last answer (device thread only)
    std::vector<AnswerRecord> answers_;
};

}  // namespace tarnel::sim

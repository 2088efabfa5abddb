#pragma once
// An in-process serial line on the virtual clock: the host end is opened and closed like a
// port, the device end is held by a simulated device for the life of the line. Reads wait
// on the clock, so a time-out costs no real time. The line keeps a log of what each side
// wrote, for tests that check the bytes on the wire.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "testkit/virtual_clock.h"

namespace tarnel {

class LoopbackLine {
  public:
    explicit LoopbackLine(VirtualClock& clock);
    ~LoopbackLine();
    LoopbackLine(const LoopbackLine&) = delete;
    LoopbackLine& operator=(const LoopbackLine&) = delete;

    // The host end; null while it is open already (a port in use elsewhere).
    std::unique_ptr<SerialPort> openHostEnd();
    // The device end. A line has one device end, taken once.
    std::unique_ptr<SerialPort> openDeviceEnd();

    // The cable is pulled: every transfer at either end fails from now on and waiting reads
    // return at once.
    void cut();

    // Test knobs: make configure or setTimeouts of the host end fail, or DTR calls fail (as
    // they do on a pseudo-terminal).
    void refuseConfigure(bool refuse);
    void refuseTimeouts(bool refuse);
    void refuseDtr(bool refuse);
    // Bytes that reach the host end just after its next open (the open itself discards what
    // came before it): a device still talking while the host reopens.
    void arriveAfterOpen(std::vector<std::uint8_t> bytes);

    // What each side has written so far, in order.
    std::vector<std::uint8_t> hostWrites() const;
    std::vector<std::uint8_t> deviceWrites() const;
    void clearLogs();
    // Bytes the device has written that the host end has not read.
    std::size_t pendingToHost() const;

    // The host end's last line settings and time-outs, DTR level, and how often it was opened.
    LineSettings hostSettings() const;
    Timeouts hostTimeouts() const;
    bool hostDtr() const;
    bool hostEndOpen() const;
    int hostOpenCount() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// A port table of loopback lines for tests: slot n holds the name given for it; a name with
// no line behind it cannot be opened (a port number that does not exist).
class LoopbackPortFactory : public PortFactory {
  public:
    void setTable(std::vector<std::string> names) { table_ = std::move(names); }
    void attach(const std::string& name, LoopbackLine& line) { lines_[name] = &line; }

    std::vector<std::string> portTable() override { return table_; }
    std::unique_ptr<SerialPort> open(const std::string& device) override;

    // Every name open() was asked for, in order.
    const std::vector<std::string>& openAttempts() const { return attempts_; }

  private:
    std::vector<std::string> table_;
    std::map<std::string, LoopbackLine*> lines_;
    std::vector<std::string> attempts_;
};

}  // namespace tarnel

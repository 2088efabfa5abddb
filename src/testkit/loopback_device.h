#pragma once
// A simulated device serving the device end of a loopback line on a thread of its own, as a
// party of the virtual clock. Tests attach the line to a LoopbackPortFactory and run the real
// host code against it. Destroying it cuts the line and joins the thread.

#include <functional>
#include <memory>
#include <thread>

#include "sim/device_line.h"
#include "sim/scenario.h"
#include "sim/sim_programmer.h"
#include "testkit/loopback_port.h"
#include "testkit/virtual_clock.h"

namespace tarnel::sim {

class LoopbackDevice {
  public:
    using MakeDevice = std::function<std::unique_ptr<SimDevice>(DeviceLine&)>;

    LoopbackDevice(VirtualClock& clock, const Scenario& scenario);
    // Any device, for commands added later: make() builds it on the given line.
    LoopbackDevice(VirtualClock& clock, std::vector<Fault> faults, const MakeDevice& make);
    ~LoopbackDevice();
    LoopbackDevice(const LoopbackDevice&) = delete;
    LoopbackDevice& operator=(const LoopbackDevice&) = delete;

    LoopbackLine& line() { return line_; }
    SimDevice& device() { return *device_; }
    // The device as a single or gang programmer; null when it is not one.
    SimProgrammer* programmer() { return dynamic_cast<SimProgrammer*>(device_.get()); }
    SimGangProgrammer* gangProgrammer() { return dynamic_cast<SimGangProgrammer*>(device_.get()); }
    std::vector<std::string> errors() const { return deviceLine_->errors(); }
    DeviceLine& deviceLine() { return *deviceLine_; }
    // Holds the line to the speed the host end is configured for (see DeviceLine::pace).
    void pace();

    // Cuts the line and waits for the device thread to end.
    void stop();

  private:
    VirtualClock& clock_;
    LoopbackLine line_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<DeviceLine> deviceLine_;
    std::unique_ptr<SimDevice> device_;
    std::thread thread_;
};

}  // namespace tarnel::sim

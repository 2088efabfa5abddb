#include "testkit/loopback_device.h"

#include <future>

namespace tarnel::sim {

LoopbackDevice::LoopbackDevice(VirtualClock& clock, const Scenario& scenario)
    : LoopbackDevice(clock, scenario.faults,
                     [&scenario](DeviceLine& line) { return makeDevice(scenario, line); }) {}

LoopbackDevice::LoopbackDevice(VirtualClock& clock, std::vector<Fault> faults,
                               const MakeDevice& make)
    : clock_(clock),
      line_(clock),
      port_(line_.openDeviceEnd()),
      deviceLine_(std::make_unique<DeviceLine>(*port_, clock, std::move(faults))),
      device_(make(*deviceLine_)) {
    deviceLine_->setCutHandler([this] { line_.cut(); });
    // The thread must be a party of the clock before the host can wait on it, or time would
    // run ahead while the thread starts.
    std::promise<void> registered;
    auto ready = registered.get_future();
    thread_ = std::thread([this, &clock, &registered] {
        VirtualClock::Participant party(clock);
        registered.set_value();
        device_->run();
    });
    ready.wait();
}

LoopbackDevice::~LoopbackDevice() {
    stop();
}

void LoopbackDevice::pace() {
    deviceLine_->pace([this] { return line_.hostSettings(); });
}

void LoopbackDevice::stop() {
    line_.cut();
    if (!thread_.joinable())
        return;
    // The device may be in the middle of a late reply: let time run while we wait for it.
    VirtualClock::Absence away(clock_);
    thread_.join();
}

}  // namespace tarnel::sim

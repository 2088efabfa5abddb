#include "ui/pty_simulator.h"

#include <exception>

namespace tarnel::ui {

namespace {
// How often an idle device looks at the stop request.
constexpr std::uint32_t kIdleWaitMs = 200;
}  // namespace

PtySimulator::~PtySimulator() {
    stop();
}

std::optional<std::string> PtySimulator::start(const std::string& scenarioPath,
                                               std::string& error) {
    sim::Scenario scenario;
    try {
        scenario = sim::loadScenario(scenarioPath);
    } catch (const std::exception& e) {
        error = e.what();
        return std::nullopt;
    }
    pty_ = sim::openPseudoTerminal(error);
    if (!pty_)
        return std::nullopt;
    port_ = PosixSerialPort::adopt(std::move(pty_->master), clock_);
    if (!port_) {
        error = "cannot serve the pseudo-terminal";
        return std::nullopt;
    }
    line_ = std::make_unique<sim::DeviceLine>(*port_, clock_, scenario.faults, kIdleWaitMs);
    line_->watchStopFlag(stop_);
    device_ = sim::makeDevice(scenario, *line_);
    thread_ = std::thread([this] { device_->run(); });
    return pty_->slavePath;
}

void PtySimulator::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

}  // namespace tarnel::ui

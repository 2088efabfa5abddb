#include "ui/pty_simulator.h"

#include <exception>

#if !defined(_WIN32)
#include "link/posix_serial_port.h"
#endif

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
#if defined(_WIN32)
    error = "the simulated programmer needs a pseudo-terminal, which Windows does not have";
    return std::nullopt;
#else
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
#endif
}

void PtySimulator::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

}  // namespace tarnel::ui

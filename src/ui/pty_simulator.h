#pragma once
// A simulated programmer on a pseudo-terminal, served on a thread of its own, so the window
// can be tried without hardware: the window's port is pointed at the terminal's path.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/clock.h"
#include "link/posix_serial_port.h"
#include "sim/device_line.h"
#include "sim/pseudo_terminal.h"
#include "sim/scenario.h"

namespace tarnel::ui {

class PtySimulator {
  public:
    PtySimulator() = default;
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Loads the scenario and starts serving; the terminal's path, or nullopt with the reason.
    std::optional<std::string> start(const std::string& scenarioPath, std::string& error);
    void stop();

  private:
    SystemClock clock_;
    std::optional<sim::PseudoTerminal> pty_;
    std::unique_ptr<PosixSerialPort> port_;
    std::unique_ptr<sim::DeviceLine> line_;
    std::unique_ptr<sim::SimDevice> device_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarnel::ui

#pragma once
// A simulated programmer on a pseudo-terminal, served on a thread of its own, so the window
// can be tried without hardware: the window's port is pointed at the terminal's path.
// Windows has no pseudo-terminals: there start() says so.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/clock.h"
#include "link/serial_port.h"
#include "sim/device_line.h"
#include "sim/scenario.h"
#if !defined(_WIN32)
#include "sim/pseudo_terminal.h"
#endif

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
#if !defined(_WIN32)
    std::optional<sim::PseudoTerminal> pty_;
#endif
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<sim::DeviceLine> line_;
    std::unique_ptr<sim::SimDevice> device_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarnel::ui

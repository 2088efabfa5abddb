#pragma once
// The main window on virtual time, its programmers simulated on loopback ports behind
// "\\.\COM1", working in a directory the caller owns.

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "testkit/loopback_device.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"
#include "testkit/worker_clock.h"
#include "ui/main_window.h"

namespace tarnel {

class LoopbackWindow {
  public:
    static constexpr const char* kPort = "\\\\.\\COM1";

    explicit LoopbackWindow(std::string workDirectory) : workDirectory_(std::move(workDirectory)) {
        ports.setTable({kPort});
    }
    ~LoopbackWindow() {
        window.reset();
        devices.clear();
    }
    LoopbackWindow(const LoopbackWindow&) = delete;
    LoopbackWindow& operator=(const LoopbackWindow&) = delete;

    // Writes GUI.LOG from a job the caller prepares.
    void writeSettings(const std::function<void(ProgrammingJob&)>& prepare) {
        ProgrammingJob stored;
        prepare(stored);
        stored.setComPortName(kPort);
        RecordingOperator op;
        stored.settingsFilePath = settingsPathIn(workDirectory_);
        saveSettings(stored, op);
    }

    // A simulated programmer behind the port.
    sim::LoopbackDevice& addDevice(const sim::Scenario& scenario) {
        devices.push_back(std::make_unique<sim::LoopbackDevice>(clock, scenario));
        ports.attach(kPort, devices.back()->line());
        return *devices.back();
    }

    ui::MainWindow& start(const QString& triggerPath = {}) {
        window = std::make_unique<ui::MainWindow>(workerClock, ports);
        window->startUp(QString::fromStdString(workDirectory_), triggerPath);
        window->show();
        return *window;
    }

    VirtualClock clock;
    WorkerClock workerClock{clock};
    LoopbackPortFactory ports;
    std::vector<std::unique_ptr<sim::LoopbackDevice>> devices;
    std::unique_ptr<ui::MainWindow> window;

  private:
    std::string workDirectory_;
};

}  // namespace tarnel

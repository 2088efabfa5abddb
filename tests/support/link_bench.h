#pragma once
// The host side of the programmer link on virtual time, with simulated programmers and
// silent ports in a loopback port table, for protocol tests.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/programming_job.h"
#include "link/programmer_link.h"
#include "link/programmer_session.h"
#include "sim/scenario.h"
#include "support/scratch_dir.h"
#include "testkit/loopback_device.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"

namespace tarnel::testing {

// The concatenation of byte sequences, for expected wire traffic. Built out of line: appending
// to a vector of known size trips false -Warray-bounds and -Wstringop-overflow in GCC 12 at -O2.
std::vector<std::uint8_t> joinBytes(std::initializer_list<std::span<const std::uint8_t>> parts);

class LinkBench {
  public:
    LinkBench();
    ~LinkBench();

    // A simulated programmer behind the port of the given name ("\\.\COM1" style names are
    // how the table names them).
    sim::LoopbackDevice& addDevice(const std::string& name, const sim::Scenario& scenario);
    sim::LoopbackDevice& addProgrammer(const std::string& name, std::uint8_t kind);
    // A port that opens but where nothing answers.
    LoopbackLine& addSilentPort(const std::string& name);
    // The port table: slot n holds names[n - 1].
    void setTable(std::vector<std::string> names) { ports.setTable(std::move(names)); }
    // The usual set-up: one port, "\\.\COM1", with the device; it is the remembered port.
    sim::LoopbackDevice& singlePort(const sim::Scenario& scenario);
    // The same with a device built by make (a programmer with a handler replaced, say).
    sim::LoopbackDevice& singlePort(const sim::LoopbackDevice::MakeDevice& make);

    // Writes the synthetic firmware files (version 0x0619) into the firmware directory.
    void writeFirmwareFiles();

    // Opens the job's remembered port as a command's connect does.
    bool openRemembered() { return link.open(job.comPortText(), kProgrammerBaudRate); }

    // Selects a part in ICP mode (or ISP mode below index 100), on a gang programmer if asked.
    void selectPart(std::uint32_t partIndex, bool gang = false);

    VirtualClock clock;

  private:
    VirtualClock::Participant host_{clock};

  public:
    LoopbackPortFactory ports;
    ProgrammingJob job;
    RecordingOperator op;
    ProgrammerLink link{ports, clock};
    ProgrammerSession session{job, link, op, clock};
    test::ScratchDir firmwareDir;

  private:
    std::vector<std::unique_ptr<LoopbackLine>> silentLines_;
    std::vector<std::unique_ptr<sim::LoopbackDevice>> devices_;
};

inline sim::Scenario singleScenario(std::uint8_t kind, std::uint16_t version = 0x0619,
                                    std::vector<sim::Fault> faults = {}) {
    sim::Scenario scenario;
    scenario.kind = kind;
    scenario.firmwareVersion = version;
    scenario.faults = std::move(faults);
    return scenario;
}

inline sim::Scenario gangScenario(std::uint16_t version = 0x0619,
                                  std::vector<sim::Fault> faults = {}) {
    sim::Scenario scenario = singleScenario(0xAB, version, std::move(faults));
    scenario.device = sim::Scenario::Device::Gang;
    return scenario;
}

// The scenario with these chips in its sockets.
inline sim::Scenario withSockets(sim::Scenario scenario, std::vector<sim::SimChip> chips) {
    scenario.sockets = std::move(chips);
    return scenario;
}

}  // namespace tarnel::testing

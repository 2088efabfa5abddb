#include "support/link_bench.h"

#include "sim/synthetic_firmware.h"

namespace tarnel::testing {

std::vector<std::uint8_t> joinBytes(std::initializer_list<std::span<const std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

LinkBench::LinkBench() {
    session.setFirmwareDirectory(firmwareDir.path());
    job.setComPortName("\\\\.\\COM1");
}

LinkBench::~LinkBench() {
    // Devices first: their threads wait on lines and the clock.
    link.close();
    devices_.clear();
}

sim::LoopbackDevice& LinkBench::addDevice(const std::string& name, const sim::Scenario& scenario) {
    devices_.push_back(std::make_unique<sim::LoopbackDevice>(clock, scenario));
    ports.attach(name, devices_.back()->line());
    return *devices_.back();
}

sim::LoopbackDevice& LinkBench::addProgrammer(const std::string& name, std::uint8_t kind) {
    return addDevice(name, singleScenario(kind));
}

LoopbackLine& LinkBench::addSilentPort(const std::string& name) {
    silentLines_.push_back(std::make_unique<LoopbackLine>(clock));
    ports.attach(name, *silentLines_.back());
    return *silentLines_.back();
}

sim::LoopbackDevice& LinkBench::singlePort(const sim::Scenario& scenario) {
    setTable({"\\\\.\\COM1"});
    return addDevice("\\\\.\\COM1", scenario);
}

sim::LoopbackDevice& LinkBench::singlePort(const sim::LoopbackDevice::MakeDevice& make) {
    setTable({"\\\\.\\COM1"});
    devices_.push_back(
        std::make_unique<sim::LoopbackDevice>(clock, std::vector<sim::Fault>{}, make));
    ports.attach("\\\\.\\COM1", devices_.back()->line());
    return *devices_.back();
}

void LinkBench::writeFirmwareFiles() {
    sim::writeSyntheticFirmwareFiles(firmwareDir.path(), kCarriedFirmwareVersion);
}

void LinkBench::selectPart(std::uint32_t partIndex, bool gang) {
    job.programmerType =
        static_cast<std::uint8_t>((partIndex < 100 ? kTypeIsp : kTypeIcp) | (gang ? kTypeGang : 0));
    job.partIndex = partIndex;
    job.refreshDerivedState();
}

}  // namespace tarnel::testing

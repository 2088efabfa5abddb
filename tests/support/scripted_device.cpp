#include "support/scripted_device.h"

#include <algorithm>

namespace tarnel::testing {

namespace {

class ScriptedDevice : public sim::SimDevice {
  public:
    ScriptedDevice(sim::DeviceLine& line, Scripts scripts)
        : SimDevice(line), scripts_(std::move(scripts)) {
        for (auto& [command, list] : scripts_)
            onCommand(command, [this, &list] { play(list); });
    }

  private:
    void play(std::deque<Script>& list) {
        const Script script = list.front();
        if (list.size() > 1)
            list.pop_front();
        std::vector<std::uint8_t> incoming;
        for (const Script::Step& step : script.steps) {
            incoming.resize(step.readCount);
            if (step.readCount != 0 && !line_.readBlock(incoming.data(), step.readCount))
                return;
            if (!step.bytes.empty() && !line_.replyBlock(step.bytes.data(), step.bytes.size()))
                return;
        }
    }

    Scripts scripts_;
};

}  // namespace

Script& Script::read(std::size_t n) {
    steps.push_back({n, {}});
    return *this;
}

Script& Script::reply(std::vector<std::uint8_t> bytes) {
    steps.push_back({0, std::move(bytes)});
    return *this;
}

Script& Script::blocks(std::size_t count, std::size_t size, std::uint8_t (*fill)(std::size_t)) {
    for (std::size_t block = 0; block < count; ++block) {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = fill(block * size + i);
        reply(std::move(bytes));
    }
    return *this;
}

std::uint8_t chipByte(std::size_t offset) {
    return static_cast<std::uint8_t>(offset * 7 + offset / 256);
}

Script icpReadScript(const ChipAnswer& chip) {
    Script script;
    script.reply({0xA5}).read(7);
    if (!chip.chipConfig.empty())
        script.reply(chip.chipConfig);
    script.read(10).reply({chip.status});
    if (chip.status <= 2)
        script.read(1);
    script.blocks(chip.apromBlocks, 256, chipByte).read(1);
    if (chip.readsDataFlash)
        script.blocks(chip.dataFlashBlocks, 128, chipByte);
    script.read(1);
    if (chip.readsLdrom)
        script.blocks(chip.ldromBlocks, 256, chipByte);
    return script.reply(chip.config);
}

void addSingleIdentity(Scripts& scripts, std::uint8_t kind) {
    scripts[0xC0] = {Script().reply({kind})};
    scripts[0xC1] = {Script().reply({0xA5}).reply({0x06}).reply({0x19})};
}

ScriptedBench::ScriptedBench(Scripts scripts, std::vector<sim::Fault> faults) {
    bench.setTable({"\\\\.\\COM1"});
    device_ = std::make_unique<sim::LoopbackDevice>(
        bench.clock, std::move(faults), [&scripts](sim::DeviceLine& line) {
            return std::make_unique<ScriptedDevice>(line, scripts);
        });
    bench.ports.attach("\\\\.\\COM1", device_->line());
}

ScriptedBench::~ScriptedBench() {
    bench.link.close();
    device_.reset();
}

std::vector<std::uint8_t> ScriptedBench::commandWrites() const {
    const std::vector<std::uint8_t> all = device_->line().hostWrites();
    const auto version = std::find(all.begin(), all.end(), 0xC1);
    return version == all.end() ? all : std::vector<std::uint8_t>(version + 1, all.end());
}

}  // namespace tarnel::testing

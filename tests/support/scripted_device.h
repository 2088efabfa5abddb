#pragma once
// A programmer whose answers a test writes out: per command byte, a list of scripts of host
// reads and device replies, run in turn each time the command arrives (the last one repeats).
// Each reply is one step of the device's fault plan. The host's side is checked through the
// line's log of what the host wrote.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "sim/loopback_device.h"
#include "support/link_bench.h"

namespace tarnel::testing {

class Script {
  public:
    // Waits for n bytes from the host.
    Script& read(std::size_t n);
    // One answer.
    Script& reply(std::vector<std::uint8_t> bytes);
    // count answers of size bytes each; byte i of the whole run is fill(i).
    Script& blocks(std::size_t count, std::size_t size, std::uint8_t (*fill)(std::size_t));

    struct Step {
        std::size_t readCount = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Step> steps;
};

using Scripts = std::map<std::uint8_t, std::deque<Script>>;

// What a chip answers to the ICP read (0xC9) or verify (0xC7): each region's blocks carry
// chipByte(offset) unless a region is skipped (its block count 0 with read false).
struct ChipAnswer {
    std::vector<std::uint8_t> chipConfig;  // after the request; only 32-bit and Pike parts
    std::uint8_t status = 0;
    std::size_t apromBlocks = 0;
    bool readsDataFlash = false;
    std::size_t dataFlashBlocks = 0;
    bool readsLdrom = false;
    std::size_t ldromBlocks = 0;
    std::vector<std::uint8_t> config = std::vector<std::uint8_t>(8, 0xFF);  // c0 first
};
std::uint8_t chipByte(std::size_t offset);
Script icpReadScript(const ChipAnswer& chip);

// Identify and firmware version (0x0619) of a single programmer of the given kind.
void addSingleIdentity(Scripts& scripts, std::uint8_t kind = 0xAB);

// A LinkBench whose "\\.\COM1" holds a scripted device.
class ScriptedBench {
  public:
    explicit ScriptedBench(Scripts scripts, std::vector<sim::Fault> faults = {});
    ~ScriptedBench();

    // What the host wrote after the search and version query (after the first 0xC1).
    std::vector<std::uint8_t> commandWrites() const;
    std::vector<std::uint8_t> hostWrites() const { return device_->line().hostWrites(); }
    LoopbackLine& line() { return device_->line(); }

    LinkBench bench;

  private:
    std::unique_ptr<sim::LoopbackDevice> device_;
};

}  // namespace tarnel::testing

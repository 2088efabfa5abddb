// Any replies from a programmer, through the loopback line on virtual time, one whole
// command per input: every command ends with busy clear, leaves the S/N and the chip
// counter alone unless it showed PASS, and keeps the read-back within its buffers. A second
// mode reads a simulated chip with any CONFIG bytes: the host and the programmer count the
// same blocks, so the read completes and holds exactly the chip's bytes.

#include <array>

#include "line_harness.h"
#include "operations/read_chip.h"
#include "sim/sim_programmer.h"

namespace {

using namespace tarnel;
using fuzzing::check;

// ISP part 2, then ICP parts of each DataFlash rule: fixed, Kite, Pike, Wren, Teal, Sonra.
constexpr std::array<std::uint32_t, 8> kParts = {2, 100, 131, 136, 200, 203, 850, 1000};

void checkReadBack(const ReadBackState& readBack) {
    for (std::uint32_t last : {readBack.apromReadLast, readBack.dataFlashReadLast})
        check(last == kNothingToRead || last < kImageCapacity);
}

void runCommand(fuzzing::HostBench& t, std::uint8_t which) {
    Workbench& bench = t.bench;
    switch (which % 7) {
        case 0:
            bench.download();
            break;
        case 1:
            bench.update();
            break;
        case 2:
            bench.verify();
            break;
        case 3:
            bench.read();
            break;
        case 4:
            bench.programmerInformation();
            break;
        case 5:
            bench.chipCheck();
            break;
        default:
            bench.firmwareUpdate();
            break;
    }
}

void scriptedReplies(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t which = data[0];
    const std::uint8_t setup = data[1];
    const std::uint32_t part = kParts[data[2] % kParts.size()];
    auto script = std::make_shared<fuzzing::ReplyScript>(data + 3, size - 3);
    fuzzing::HostBench t(fuzzing::scriptedDevice(script));
    std::uint8_t type = part < 100 ? kTypeIsp : kTypeIcp;
    if (setup & 0x01)
        type |= kTypeGang;
    t.prepare(part, type);
    ProgrammingJob& job = t.job();
    job.serialEnabled = (setup & 0x02) != 0;
    job.serialHigh = 1234;
    job.serialLow = 5678;
    job.incrementLow = 1;
    job.chipCounterEnabled = (setup & 0x04) != 0;
    job.chipCounterDown = (setup & 0x08) != 0;
    job.chipCounter = job.chipCounterDown ? 50 : 7;
    job.usageLimitEnabled = (setup & 0x10) != 0;

    runCommand(t, which);

    check(!t.bench.busy());
    checkReadBack(t.bench.readBack());
    if (!t.passShown()) {
        check(job.serialHigh == 1234 && job.serialLow == 5678);
        check(job.chipCounter == (job.chipCounterDown ? 50u : 7u));
    }
}

void readSimulatedChip(const std::uint8_t* data, std::size_t size) {
    if (size < 11)
        return;
    const std::uint32_t part = kParts[1 + data[1] % (kParts.size() - 1)];
    sim::SimChip chip;
    chip.partIndex = part;
    std::copy(data + 2, data + 10, chip.config.begin());
    chip.aprom.resize(kImageCapacity);
    chip.dataFlash.resize(kImageCapacity);
    chip.ldrom.resize(kImageCapacity);
    for (std::size_t i = 0; i < kImageCapacity; ++i) {
        chip.aprom[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        chip.dataFlash[i] = static_cast<std::uint8_t>(i * 11 + 1);
        chip.ldrom[i] = static_cast<std::uint8_t>(i * 13 + 2);
    }
    fuzzing::HostBench t([&chip, part](sim::DeviceLine& line) {
        // Part 131 is a TQ17A, which only the Halvorn line serves.
        const std::uint8_t kind = part == 131 ? 0xAE : 0xAB;
        auto programmer = std::make_unique<sim::SimProgrammer>(line, kind, 0x0619, chip);
        sim::registerReadCommands(*programmer);
        return programmer;
    });
    t.prepare(part, kTypeIcp);
    // The job's CONFIG bytes take part in one of the rules.
    t.job().configBytes[7] = data[10];
    check(t.bench.read());

    const ReadBackState& readBack = t.bench.readBack();
    checkReadBack(readBack);
    check(!t.bench.busy());
    // The programmer sent exactly the blocks the host counted: it saw no protocol error,
    // the read ran to its view without a box, and the CONFIG words that close the read
    // arrived in place.
    check(t.device.errors().empty());
    check(t.op.boxes().empty());
    check(t.op.readBacks().size() == 1);
    auto* programmer = t.device.programmer();
    const sim::SimChip held = programmer->state().chip;
    check(readBack.config == held.config);
    const auto agrees = [](const std::vector<std::uint8_t>& read, std::uint32_t last,
                           const std::vector<std::uint8_t>& memory) {
        const std::uint32_t n = readBackBytes(last);
        for (std::uint32_t i = 0; i < n && i < memory.size(); ++i)
            if (read[i] != memory[i])
                return false;
        return true;
    };
    check(agrees(readBack.aprom, readBack.apromReadLast, held.aprom));
    if (readBack.dataFlashReadValid)
        check(agrees(readBack.dataFlash, readBack.dataFlashReadLast, held.dataFlash));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    if (data[0] >= 0xF0)
        readSimulatedChip(data, size);
    else
        scriptedReplies(data, size);
    return 0;
}

// Any replies from a programmer, through the loopback line on virtual time, one whole
// command per input: every command ends with busy clear, leaves the S/N and the chip
// counter alone unless it showed PASS, and keeps the read-back within its buffers.

#include <array>

#include "line_harness.h"
#include "operations/read_chip.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    scriptedReplies(data, size);
    return 0;
}

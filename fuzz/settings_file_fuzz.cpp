// Any bytes as a settings file: decode, encode, decode again gives the same job, and the
// encoding of a decoded file is a fixed point.

#include <cstring>
#include <string>

#include "app/settings_file.h"

namespace {

std::string portName(const tarnel::ProgrammingJob& job) {
    return std::string(job.comPortName.data(), strnlen(job.comPortName.data(), 16));
}

// The file keeps "no usage limit" as 0xFF, 0xFF; 0, 0 reads back as that.
unsigned usageTimes(const tarnel::ProgrammingJob& job) {
    const unsigned times = job.usageTimesHigh << 8 | job.usageTimesLow;
    return times == 0 ? 0xFFFF : times;
}

bool sameSettings(const tarnel::ProgrammingJob& a, const tarnel::ProgrammingJob& b) {
    return a.programmerType == b.programmerType && a.partIndex == b.partIndex &&
           usageTimes(a) == usageTimes(b) && a.serialEnabled == b.serialEnabled &&
           a.serialAddress == b.serialAddress && a.incrementHigh == b.incrementHigh &&
           a.incrementLow == b.incrementLow && a.serialHigh == b.serialHigh &&
           a.serialLow == b.serialLow && a.chipCounterEnabled == b.chipCounterEnabled &&
           a.chipCounterDown == b.chipCounterDown && a.chipCounter == b.chipCounter &&
           a.uartFastProtocol == b.uartFastProtocol && portName(a) == portName(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnel::ProgrammingJob first;
    tarnel::decodeSettings(std::span(data, size), first);
    if (!tarnel::ChipCatalogue::contains(first.partIndex) || first.chipCounter > 999999 ||
        first.comPortName[15] != '\0') {
        __builtin_trap();
    }
    const std::vector<std::uint8_t> encoded = tarnel::encodeSettings(first);
    tarnel::ProgrammingJob second;
    tarnel::decodeSettings(encoded, second);
    if (!sameSettings(first, second))
        __builtin_trap();
    // From the second generation on the bytes are a fixed point.
    const std::vector<std::uint8_t> again = tarnel::encodeSettings(second);
    tarnel::ProgrammingJob third;
    tarnel::decodeSettings(again, third);
    if (tarnel::encodeSettings(third) != again)
        __builtin_trap();
    return 0;
}

// Any bytes as a settings file: decode, encode, decode again gives the same job, and the
// encoding is a fixed point.

#include <cstring>
#include <string>

#include "app/settings_file.h"

namespace {

std::string portName(const tarnel::ProgrammingJob& job) {
    return std::string(job.comPortName.data(), strnlen(job.comPortName.data(), 16));
}

bool sameSettings(const tarnel::ProgrammingJob& a, const tarnel::ProgrammingJob& b) {
    return a.programmerType == b.programmerType && a.partIndex == b.partIndex &&
           a.usageTimesHigh == b.usageTimesHigh && a.usageTimesLow == b.usageTimesLow &&
           a.serialEnabled == b.serialEnabled && a.serialAddress == b.serialAddress &&
           a.incrementHigh == b.incrementHigh && a.incrementLow == b.incrementLow &&
           a.serialHigh == b.serialHigh && a.serialLow == b.serialLow &&
           a.chipCounterEnabled == b.chipCounterEnabled &&
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
    if (!sameSettings(first, second) || tarnel::encodeSettings(second) != encoded)
        __builtin_trap();
    return 0;
}

// Any bytes as a settings file: the job keeps its invariants.

#include <cstring>

#include "app/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnel::ProgrammingJob job;
    tarnel::decodeSettings(std::span(data, size), job);
    if (!tarnel::ChipCatalogue::contains(job.partIndex) || job.chipCounter > 999999 ||
        job.serialHigh > 99999999 || job.serialLow > 99999999 || job.comPortName[15] != '\0') {
        __builtin_trap();
    }
    (void)tarnel::encodeSettings(job);
    return 0;
}

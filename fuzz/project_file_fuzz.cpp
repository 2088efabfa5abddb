// Any bytes as a project file: what is accepted loads into a job, re-encodes to bytes that
// are accepted again, and loading those gives the same job (and the same bytes once more).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/atomic_file.h"
#include "image/project_file.h"
#include "testkit/recording_operator.h"

namespace {

using tarnel::ProgrammingJob;
using tarnel::ProjectFile;

// One working directory for the life of the fuzzer: loading writes the working image files.
const std::string& workDirectory() {
    static const std::string path = [] {
        char name[] = "/tmp/tarnel-fuzz-project-XXXXXX";
        if (mkdtemp(name) == nullptr)
            std::abort();
        return std::string(name);
    }();
    return path;
}

bool load(const std::vector<std::uint8_t>& bytes, ProgrammingJob& job) {
    const std::string path = workDirectory() + "/input.tpj";
    if (!tarnel::writeFileAtomically(path, bytes))
        std::abort();
    job.workDirectory = workDirectory();
    tarnel::RecordingOperator op;
    return tarnel::loadProject(job, path, op);
}

bool sameRegion(const tarnel::ImageBuffer& a, const tarnel::ImageBuffer& b) {
    if (a.loaded != b.loaded)
        return false;
    if (!a.loaded)
        return true;
    return a.length == b.length && a.shownName == b.shownName &&
           std::equal(a.data.begin(), a.data.begin() + a.length, b.data.begin());
}

bool sameJob(const ProgrammingJob& a, const ProgrammingJob& b) {
    return a.partIndex == b.partIndex && a.programmerType == b.programmerType &&
           a.dataFlashPages == b.dataFlashPages && a.configBytes == b.configBytes &&
           a.usageTimesHigh == b.usageTimesHigh && a.usageTimesLow == b.usageTimesLow &&
           a.usageLimitEnabled == b.usageLimitEnabled && a.serialEnabled == b.serialEnabled &&
           a.serialAddress == b.serialAddress && a.incrementHigh == b.incrementHigh &&
           a.incrementLow == b.incrementLow && a.chipCounterEnabled == b.chipCounterEnabled &&
           a.chipCounterDown == b.chipCounterDown && a.uartFastProtocol == b.uartFastProtocol &&
           a.updateAprom == b.updateAprom && a.updateDataFlash == b.updateDataFlash &&
           a.updateLdrom == b.updateLdrom && a.updateConfig == b.updateConfig &&
           sameRegion(a.imageAprom, b.imageAprom) &&
           sameRegion(a.imageDataFlash, b.imageDataFlash) && sameRegion(a.imageLdrom, b.imageLdrom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    ProjectFile decoded;
    if (!tarnel::decodeProject(input, decoded))
        return 0;
    for (const auto& region : decoded.regions) {
        if (region.bytes.size() != region.length || region.length > tarnel::kImageCapacity)
            __builtin_trap();
    }

    ProgrammingJob first;
    if (!load(input, first))
        return 0;  // a part the catalogue does not know
    const std::vector<std::uint8_t> encoded = tarnel::encodeProject(first);
    ProjectFile again;
    if (!tarnel::decodeProject(encoded, again))
        __builtin_trap();
    ProgrammingJob second;
    if (!load(encoded, second) || !sameJob(first, second))
        __builtin_trap();
    if (tarnel::encodeProject(second) != encoded)
        __builtin_trap();
    return 0;
}

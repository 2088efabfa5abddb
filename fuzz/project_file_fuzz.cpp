// Any bytes as a project file: decoding never reads past the bytes, and every region it
// accepts holds exactly the bytes its length claims, within one image buffer.

#include "image/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnel::ProjectFile project;
    if (!tarnel::decodeProject(std::span(data, size), project))
        return 0;
    for (const auto& region : project.regions) {
        if (region.bytes.size() != region.length || region.length > tarnel::kImageCapacity) {
            __builtin_trap();
        }
    }
    return 0;
}

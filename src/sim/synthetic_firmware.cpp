#include "sim/synthetic_firmware.h"

#include <filesystem>
#include <stdexcept>

#include "core/atomic_file.h"

namespace tarnel::sim {

std::vector<std::uint8_t> syntheticFirmware(std::uint8_t kind, std::uint16_t version,
                                            std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) + kind) & 0xFF);
    if (size >= 3) {
        image[0] = static_cast<std::uint8_t>(version >> 8);
        image[1] = static_cast<std::uint8_t>(version & 0xFF);
        image[2] = kind;
    }
    return image;
}

std::optional<FirmwareIdentity> identityOfFirmware(const std::vector<std::uint8_t>& image) {
    if (image.size() < 3 || rowOfKind(image[2]) == nullptr)
        return std::nullopt;
    return FirmwareIdentity{static_cast<std::uint16_t>(image[0] << 8 | image[1]), image[2]};
}

std::vector<std::string> writeSyntheticFirmwareFiles(const std::string& directory,
                                                     std::uint16_t version) {
    std::filesystem::create_directories(directory);
    std::vector<std::string> written;
    for (const auto& row : kProgrammerKinds) {
        const std::string path = (std::filesystem::path(directory) / row.firmwareFile).string();
        const std::size_t size =
            row.kind == kGangProgrammerKind ? kSyntheticGangSize : kSyntheticSingleSize;
        std::string error;
        if (!writeFileAtomically(path, syntheticFirmware(row.kind, version, size), &error))
            throw std::runtime_error(path + ": " + error);
        written.push_back(path);
    }
    return written;
}

}  // namespace tarnel::sim

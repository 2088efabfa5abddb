#pragma once
// Synthetic programmer firmware files. The first three bytes (sent unchanged by the host)
// carry the firmware version, high byte first, and the identity byte the programmer answers
// once it runs that firmware; the rest is a fixed pattern. A simulated programmer reads
// those three bytes from what it was loaded with to know what it has become.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/programmer_kind.h"

namespace tarnel::sim {

inline constexpr std::size_t kSyntheticSingleSize = 0x2A10;
inline constexpr std::size_t kSyntheticGangSize = 3000;

std::vector<std::uint8_t> syntheticFirmware(std::uint8_t kind, std::uint16_t version,
                                            std::size_t size = kSyntheticSingleSize);

struct FirmwareIdentity {
    std::uint16_t version;
    std::uint8_t kind;
};
// The identity a loaded image carries, if its first three bytes hold one.
std::optional<FirmwareIdentity> identityOfFirmware(const std::vector<std::uint8_t>& image);

// Writes the fifteen single-programmer files and the gang file into the directory (created
// if missing); each file is written atomically. Returns the paths written; throws
// std::runtime_error naming the file that could not be written and why.
std::vector<std::string> writeSyntheticFirmwareFiles(const std::string& directory,
                                                     std::uint16_t version);

}  // namespace tarnel::sim

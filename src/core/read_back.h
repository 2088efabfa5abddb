#pragma once
// What Read Chip copied from a chip, kept for the life of the program; each read overwrites
// it. Shown by the read-back viewer and, for CONFIG words, by the CONFIG editors' views.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/image_buffer.h"

namespace tarnel {

struct ReadBackState {
    std::vector<std::uint8_t> aprom = std::vector<std::uint8_t>(kImageCapacity, 0xFF);
    std::vector<std::uint8_t> dataFlash = std::vector<std::uint8_t>(kImageCapacity, 0xFF);
    std::vector<std::uint8_t> ldrom = std::vector<std::uint8_t>(kImageCapacity, 0xFF);
    // The read-back CONFIG bytes, arranged as the job's configBytes.
    std::array<std::uint8_t, 8> config{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    // c0..c7 as the chip sends them (CONFIG0 bits 7..0 first).
    std::array<std::uint8_t, 8> chipConfig{};
    std::uint32_t chipConfigPartIndex = 0;
    std::uint32_t apromReadLast = 0;
    std::uint32_t dataFlashReadLast = 0;
    bool dataFlashReadValid = false;
    bool ldromReadValid = false;
    bool readForVerifying = false;
    bool readComplete = false;
    bool showChipConfigMode = false;
    int socketChoice = 1;  // gang socket #1..#4 for Verify Chip and Read Chip
};

// A last address the chip's CONFIG words make that reads nothing.
inline constexpr std::uint32_t kNothingToRead = 0xFFFFFFFF;

// The bytes a region's read-back holds for a last address (kNothingToRead: 0), at most the
// buffer's capacity.
inline std::uint32_t readBackBytes(std::uint32_t last) {
    return last == kNothingToRead ? 0 : std::min(last + 1, kImageCapacity);
}

// The chip's c0..c7 in the arrangement of configBytes (stream byte k at index 7 - k).
inline std::array<std::uint8_t, 8> configBytesFromStream(const std::array<std::uint8_t, 8>& c) {
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t k = 0; k < 8; ++k)
        bytes[7 - k] = c[k];
    return bytes;
}

}  // namespace tarnel

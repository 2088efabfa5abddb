#pragma once
// One region's image (APROM, DataFlash or LDROM) with the values derived from it.
// The loading, checksum and size-check logic lives in the image library.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnel {

inline constexpr std::uint32_t kImageCapacity = 0x40000;  // 256 KiB per region

struct ImageBuffer {
    std::vector<std::uint8_t> data = std::vector<std::uint8_t>(kImageCapacity, 0);
    std::uint32_t length = 0;
    std::uint32_t checksum = 0;
    std::uint32_t lastAddress = 0;
    std::uint32_t lengthLow = 0;   // length & 0xFF
    std::uint32_t lengthHigh = 0;  // length >> 8
    std::uint8_t fileSecond = 0;
    std::uint8_t fileMinute = 0;
    std::array<std::uint8_t, 4> headerChecksum{};     // LDROM uses the first three
    std::array<std::uint8_t, 3> headerLastAddress{};  // LDROM uses the first two
    std::array<std::uint8_t, 2> configSum{};          // APROM only
    std::array<std::uint8_t, 2> dataFlashBase{};      // DataFlash only; set by the download
    std::string pathName;
    std::string fileName;
    std::string fileTitle;
    std::string fileExt;
    std::string shownName;  // at most 63 characters
    bool loaded = false;
    bool isHex = false;
    bool fromProject = false;
    bool rejected = false;  // the last reload of the file failed: the buffer holds no image
};

}  // namespace tarnel

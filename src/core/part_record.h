#pragma once
// One row of the chip catalogue: what the rest of the system needs to know about a part.

#include <array>
#include <cstdint>
#include <string_view>

namespace tarnel {

// Text is std::string_view in the table everyone uses; the compiled form stores its texts as
// places in one character pool instead, so that loading the program relocates nothing in it.
template <class Text>
struct BasicPartRecord {
    Text partNumber;  // "-" for a separator, empty for an empty row
    bool legacyConfig = false;
    bool is32Bit = false;
    bool isLark = false;
    bool isWren = false;
    bool isTeal = false;
    bool isTern = false;
    bool isPike = false;
    bool isSonra = false;
    bool isTQ17A = false;
    std::uint8_t algoFlag = 0;
    bool hasDataFlash = false;
    bool hasLdrom = false;
    std::uint8_t legacyChipCode = 0;
    std::uint32_t apromLastAddress = 0;
    std::uint32_t apromPages = 0;
    std::uint32_t dataFlashStartPage = 0;
    std::uint32_t dataFlashStart = 0;
    std::uint32_t dataFlashSize = 0;
    std::uint32_t ldromLastAddress = 0;
    bool dataFlashInAprom = false;
    std::uint8_t algoParamA = 0;
    std::uint8_t algoParamB = 0;
    std::uint32_t deviceId = 0;
    std::uint8_t algoParamC = 0;
    std::uint8_t algoParamD = 0;
    std::uint8_t config0Layout = 0;
    std::uint8_t config1Layout = 0;
    std::array<Text, 4> clockSourceText{};
    // The brown-out voltages a 32-bit part's editor offers instead of its layout's, when set.
    std::array<Text, 4> brownOutLevels{};
};

using PartRecord = BasicPartRecord<std::string_view>;

// An older form of a part number (with "(I)" inside) and the current one.
struct NameAlias {
    std::string_view former;
    std::string_view current;
};

// The compiled table, generated at build time from data/parts.csv and data/name_aliases.csv;
// built from its packed form on first use.
inline constexpr std::size_t kCatalogueSize = 1104;
const std::array<PartRecord, kCatalogueSize>& partTable();
extern const std::array<NameAlias, 5> kNameAliases;

}  // namespace tarnel

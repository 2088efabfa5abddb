#pragma once
// How the eight stored CONFIG bytes are read for each kind of part: layouts, label tables,
// defaults, DataFlash geometry, the couplings between fields, and the bit-table decoder.
//
// configBytes order: bytes 0..3 hold CONFIG1 and bytes 4..7 CONFIG0 of a 32-bit part, each
// word most significant byte first; on an 8051 part byte 7 is CONFIG0, byte 6 CONFIG1,
// byte 5 CONFIG2 and byte 4 CONFIG3.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/part_record.h"

namespace tarnel {

using ConfigBytes = std::array<std::uint8_t, 8>;

enum class ConfigLayout {
    Kite,
    KiteU,
    Wren,
    TealA,
    TealB,
    Sonra,
    Ferro,
    Pike,
    Tern,
    BitTable,
    None
};

std::string_view layoutName(ConfigLayout layout);

// Choice of layout by the part's flags. A Teal part whose revision letter (position 10 of the
// part number) is neither 'A' nor 'B' has no layout (None).
ConfigLayout configLayoutOf(const PartRecord& part);

// Marl part numbers are too short to carry a revision letter; they follow this layout.
inline constexpr ConfigLayout kMarlConfigLayout = ConfigLayout::TealA;

bool isWordLayout(ConfigLayout layout);  // the 32-bit layouts, CONFIG0/CONFIG1 words

// Word and byte access.
std::uint32_t config0Word(const ConfigBytes& bytes);
std::uint32_t config1Word(const ConfigBytes& bytes);
void setConfig0Word(ConfigBytes& bytes, std::uint32_t value);
void setConfig1Word(ConfigBytes& bytes, std::uint32_t value);
// 8051 CONFIG byte n (0..7): configBytes[7 - n].
std::uint8_t configByte(const ConfigBytes& bytes, int n);
void setConfigByte(ConfigBytes& bytes, int n, std::uint8_t value);

// Bit-table labels: name and the texts for values 0 and 1.
struct ConfigBitLabel {
    std::string_view name;
    std::string_view text0;
    std::string_view text1;
};
using LabelLayout = std::array<ConfigBitLabel, 8>;  // indexed by bit number 0..7
// Compiled from data/config_labels.csv, indexed by a part's config0Layout / config1Layout.
extern const std::array<LabelLayout, 8> config0Labels;
extern const std::array<LabelLayout, 8> config1Labels;

// A field the bit-table decoder shows as text: `count` texts (2 or 4) chosen by the bits of
// CONFIG `word` (0 or 1) from `shift` on; count 0 when the layout has no such field.
struct ConfigTextField {
    std::uint8_t word = 0;
    std::uint8_t shift = 0;
    std::uint8_t count = 0;
    std::array<std::string_view, 4> texts{};
};
// How the decoder reads a pair of bit-table layouts: the internal oscillator's frequency
// (shown instead of the catalogue's clock text when FOSC selects it) and the brown-out
// voltage. Compiled from data/bit_table_layouts.csv; the build checks that each field reads
// bits its label tables name for it, and that every part's layout pair is described.
struct BitTableDecoding {
    std::uint8_t config0Layout = 0;
    std::uint8_t config1Layout = 0;
    ConfigTextField internalOsc;
    ConfigTextField brownOut;
};
std::span<const BitTableDecoding> bitTableDecodings();
// The decoding of a part's layout columns; nullptr for a part without a bit table.
const BitTableDecoding* bitTableDecodingOf(const PartRecord& part);

// Default CONFIG bytes of a part, and the page count where the defaults set one.
struct ConfigDefaults {
    ConfigBytes bytes{};
    std::optional<std::uint32_t> dataFlashPages;
};
ConfigDefaults defaultConfig(const PartRecord& part, bool icpMode);

// DataFlash carved from a flash span: base = flashEnd - pages * pageSize.
struct DataFlashGeometry {
    std::uint32_t pageSize = 0;
    std::uint32_t flashEnd = 0;
    std::uint32_t minPages = 1;
    std::uint32_t maxPages = 0;
};
// Geometry of the layout; KiteU's variable size, Sonra's span by its LDROM bit.
// Layouts without a movable DataFlash give nullopt.
std::optional<DataFlashGeometry> dataFlashGeometry(ConfigLayout layout, const PartRecord& part,
                                                   const ConfigBytes& bytes);

// Page count to base: writes the base into the CONFIG bytes as the layout holds it and
// returns the page count actually used (raised to the allowed range, 0 becomes 1).
std::uint32_t writeDataFlashPages(ConfigLayout layout, const PartRecord& part, ConfigBytes& bytes,
                                  std::uint32_t pages);
// Base to page count, for CONFIG words read back: 0 when the base is not below flashEnd.
std::uint32_t dataFlashPagesFromConfig(ConfigLayout layout, const PartRecord& part,
                                       const ConfigBytes& bytes);
// DataFlash base address held in the CONFIG bytes (CONFIG1 low byte cleared on word layouts,
// CONFIG1 x 256 on 8051 layouts).
std::uint32_t dataFlashBaseFromConfig(ConfigLayout layout, const ConfigBytes& bytes);

// Sonra: CONFIG0 bit 2 is LDROM (1 = enabled); switching it on adds 0x1000 to CONFIG1,
// switching it off takes 0x1000 away; nothing happens when it already has that value.
void setSonraLdrom(ConfigBytes& bytes, bool enabled);

// KiteU: fixed 4 KB DataFlash at 0x0001F000 (bit 2 = 1) or variable size from APROM.
inline constexpr std::uint32_t kKiteUFixedBase = 0x0001F000;
void setKiteUFixedSize(ConfigBytes& bytes);
void setKiteUVariableSize(const PartRecord& part, ConfigBytes& bytes, std::uint32_t pages);
// Disabling the DataFlash (bit 0 = 1) forces fixed size; enabling it writes the fixed base again.
void setKiteUDataFlashEnabled(ConfigBytes& bytes, bool enabled);

// Bit-table lock coupling on the 8051 CONFIG1 byte: "APROM Lock" (bit 7) disabled also
// disables "NVM Lock" (bit 6) and freezes it; enabled makes it changeable again.
// Returns whether "NVM Lock" may be changed afterwards. Layouts without "NVM Lock" at bit 6
// leave bit 6 alone and report it unchangeable.
bool writeAPromLock(const PartRecord& part, ConfigBytes& bytes, bool disabled);
bool nvmLockChangeable(const PartRecord& part, const ConfigBytes& bytes);

// The bit-table decoder: clock source and brown-out voltage texts and the hex renderings.
struct ConfigDescription {
    std::string clockSource;
    std::string brownOutVoltage;
    std::string config0Text;  // "0x%02X" when algoParamC >= 1, else empty
    std::string config1Text;  // "0x%02X" when algoParamC >= 2, else empty
};
ConfigDescription describeConfig(std::uint8_t config0, std::uint8_t config1,
                                 const PartRecord& part);

}  // namespace tarnel

#pragma once
// The fixed table of every part the system can program, with its family blocks and lookups.
// A part is identified everywhere by its catalogue index.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/part_record.h"

namespace tarnel {

enum class FamilyGroup { Legacy8051, Family8051, Kite, Lark, Wren, Teal, Sonra, Marl };

inline constexpr std::uint32_t kLastPartIndex = 1103;
inline constexpr std::uint32_t kLegacyMaskFirst = 40;  // rows 40..51: the legacy Pike rows
inline constexpr std::uint32_t kLegacyMaskLast = 51;
// The first row of each ICP family block: Family8051, Kite, Lark, Wren, Teal, Sonra, Marl.
inline constexpr std::array<std::uint32_t, 7> kFamilyBases{100, 200, 800, 850, 900, 1000, 1100};

// The block holding a row; rows above the table count as the last block.
FamilyGroup groupOf(std::uint32_t index);
// True for the rows the ICP types list (every block but the legacy 8051 rows).
inline bool isIcpRow(std::uint32_t index) {
    return index >= kFamilyBases[0];
}
// True for the legacy rows that read "-" while the list is masked.
inline bool isMaskedLegacyRow(std::uint32_t index) {
    return index >= kLegacyMaskFirst && index <= kLegacyMaskLast;
}
std::uint32_t groupBase(FamilyGroup group);
std::uint32_t listEnd(FamilyGroup group);
// Family text shown in the family list ("8051 Family", "Vexa_Kite", ...); empty for Legacy8051.
std::string_view familyText(FamilyGroup group);
// The group whose family text this is, if any.
std::optional<FamilyGroup> groupOfFamilyText(std::string_view text);

class ChipCatalogue {
  public:
    ChipCatalogue();

    // True when the index names a row of the table (0..1103).
    static bool contains(std::uint32_t index) { return index <= kLastPartIndex; }

    // Direct row access. An index above 1103 (as a settings file or a programmer may report)
    // is never read out of bounds: it yields an empty row with no part number and no flags.
    const PartRecord& partAt(std::uint32_t index) const;

    bool isSeparator(std::uint32_t index) const;

    // Exact, case-sensitive search from the lowest index: rows 0..99 without ICP,
    // rows 100..1103 with ICP. The masked legacy rows read "-" while masked.
    std::optional<std::uint32_t> findPart(std::string_view partNumber, bool icpMode) const;

    // The current form of a part number given in an older "(I)" form; other numbers unchanged.
    static std::string nameAliases(std::string_view partNumber);

    // Legacy list masking: rows 40..51 read "-" while masked (every programmer type but
    // ISP by COM Port) and their real part numbers otherwise.
    void setLegacyListMasked(bool masked);
    bool legacyListMasked() const { return masked_; }

  private:
    std::vector<PartRecord> rows_;
    std::array<std::string_view, kLegacyMaskLast - kLegacyMaskFirst + 1> realNumbers_{};
    bool masked_ = false;
};

}  // namespace tarnel

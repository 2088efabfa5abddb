#include "core/chip_catalogue.h"

namespace tarnel {

namespace {

struct GroupInfo {
    FamilyGroup group;
    std::uint32_t base;
    std::uint32_t end;  // one past the last listed row
    std::string_view text;
};

constexpr GroupInfo kGroups[] = {
    {FamilyGroup::Legacy8051, 0, 52, ""},
    {FamilyGroup::Family8051, 100, 148, "8051 Family"},
    {FamilyGroup::Kite, 200, 324, "Vexa_Kite"},
    {FamilyGroup::Lark, 800, 817, "Vexa_Lark"},
    {FamilyGroup::Wren, 850, 862, "Vexa_Wren"},
    {FamilyGroup::Teal, 900, 967, "Vexa_Teal"},
    {FamilyGroup::Sonra, 1000, 1001, "Sonra Family"},
    {FamilyGroup::Marl, 1100, 1104, "Marl Family"},
};

const GroupInfo& info(FamilyGroup group) {
    return kGroups[static_cast<int>(group)];
}

const PartRecord kEmptyRow{};

}  // namespace

FamilyGroup groupOf(std::uint32_t index) {
    if (index >= 1100)
        return FamilyGroup::Marl;
    if (index >= 1000)
        return FamilyGroup::Sonra;
    if (index >= 900)
        return FamilyGroup::Teal;
    if (index >= 850)
        return FamilyGroup::Wren;
    if (index >= 800)
        return FamilyGroup::Lark;
    if (index >= 200)
        return FamilyGroup::Kite;
    if (index >= 100)
        return FamilyGroup::Family8051;
    return FamilyGroup::Legacy8051;
}

std::uint32_t groupBase(FamilyGroup group) {
    return info(group).base;
}
std::uint32_t listEnd(FamilyGroup group) {
    return info(group).end;
}
std::string_view familyText(FamilyGroup group) {
    return info(group).text;
}

std::optional<FamilyGroup> groupOfFamilyText(std::string_view text) {
    for (const auto& g : kGroups) {
        if (!g.text.empty() && g.text == text)
            return g.group;
    }
    return std::nullopt;
}

ChipCatalogue::ChipCatalogue() : rows_(kPartTable.begin(), kPartTable.end()) {
    for (std::uint32_t i = kLegacyMaskFirst; i <= kLegacyMaskLast; ++i) {
        realNumbers_[i - kLegacyMaskFirst] = rows_[i].partNumber;
    }
}

const PartRecord& ChipCatalogue::partAt(std::uint32_t index) const {
    return contains(index) ? rows_[index] : kEmptyRow;
}

bool ChipCatalogue::isSeparator(std::uint32_t index) const {
    return partAt(index).partNumber == "-";
}

std::optional<std::uint32_t> ChipCatalogue::findPart(std::string_view partNumber,
                                                     bool icpMode) const {
    const std::uint32_t first = icpMode ? 100 : 0;
    const std::uint32_t last = icpMode ? kLastPartIndex : 99;
    for (std::uint32_t i = first; i <= last; ++i) {
        if (rows_[i].partNumber == partNumber)
            return i;
    }
    return std::nullopt;
}

std::string ChipCatalogue::nameAliases(std::string_view partNumber) {
    for (const auto& alias : kNameAliases) {
        if (alias.former == partNumber)
            return std::string(alias.current);
    }
    return std::string(partNumber);
}

void ChipCatalogue::setLegacyListMasked(bool masked) {
    masked_ = masked;
    for (std::uint32_t i = kLegacyMaskFirst; i <= kLegacyMaskLast; ++i) {
        rows_[i].partNumber = masked ? std::string_view("-") : realNumbers_[i - kLegacyMaskFirst];
    }
}

}  // namespace tarnel

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
    {FamilyGroup::Family8051, kFamilyBases[0], 148, "8051 Family"},
    {FamilyGroup::Kite, kFamilyBases[1], 324, "Vexa_Kite"},
    {FamilyGroup::Lark, kFamilyBases[2], 817, "Vexa_Lark"},
    {FamilyGroup::Wren, kFamilyBases[3], 862, "Vexa_Wren"},
    {FamilyGroup::Teal, kFamilyBases[4], 967, "Vexa_Teal"},
    {FamilyGroup::Sonra, kFamilyBases[5], 1001, "Sonra Family"},
    {FamilyGroup::Marl, kFamilyBases[6], 1104, "Marl Family"},
};

const GroupInfo& info(FamilyGroup group) {
    return kGroups[static_cast<int>(group)];
}

const PartRecord kEmptyRow{};

}  // namespace

FamilyGroup groupOf(std::uint32_t index) {
    FamilyGroup group = FamilyGroup::Legacy8051;
    for (const auto& g : kGroups) {
        if (index >= g.base)
            group = g.group;
    }
    return group;
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

ChipCatalogue::ChipCatalogue() : rows_(partTable().begin(), partTable().end()) {
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
    const std::uint32_t first = icpMode ? kFamilyBases[0] : 0;
    const std::uint32_t end = icpMode ? kCatalogueSize : kFamilyBases[0];
    for (std::uint32_t i = first; i < end; ++i) {
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

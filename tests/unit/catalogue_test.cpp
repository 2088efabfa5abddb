// The compiled catalogue checked against every rule the rest of the system relies on.

#include <gtest/gtest.h>

#include <string>

#include "core/chip_catalogue.h"

using namespace tarnel;

namespace {

struct Block {
    FamilyGroup group;
    std::uint32_t base, end, last;  // list end, last row of the block
    int parts, separators;
};

constexpr Block kBlocks[] = {
    {FamilyGroup::Legacy8051, 0, 52, 99, 50, 2},  {FamilyGroup::Family8051, 100, 148, 199, 47, 1},
    {FamilyGroup::Kite, 200, 324, 799, 115, 9},   {FamilyGroup::Lark, 800, 817, 849, 16, 1},
    {FamilyGroup::Wren, 850, 862, 899, 12, 0},    {FamilyGroup::Teal, 900, 967, 999, 64, 3},
    {FamilyGroup::Sonra, 1000, 1001, 1099, 1, 0}, {FamilyGroup::Marl, 1100, 1104, 1103, 4, 0},
};

// Where a real part (not a separator, not an empty row) sits.
bool isPartRow(std::uint32_t i) {
    const auto& n = kPartTable[i].partNumber;
    return !n.empty() && n != "-";
}

}  // namespace

TEST(Catalogue, BlocksListsAndCounts) {
    for (const Block& b : kBlocks) {
        SCOPED_TRACE(b.base);
        EXPECT_EQ(groupBase(b.group), b.base);
        EXPECT_EQ(listEnd(b.group), b.end);
        int parts = 0, separators = 0;
        for (std::uint32_t i = b.base; i <= b.last; ++i) {
            EXPECT_EQ(groupOf(i), b.group) << i;
            const auto& n = kPartTable[i].partNumber;
            if (i >= b.end) {
                EXPECT_TRUE(n.empty()) << "row " << i << " lies past the list end";
                continue;
            }
            EXPECT_FALSE(n.empty()) << "listed row " << i << " is empty";
            (n == "-" ? separators : parts)++;
            EXPECT_LE(n.size(), 12u) << i;
        }
        EXPECT_EQ(parts, b.parts);
        EXPECT_EQ(separators, b.separators);
    }
    // The blocks and the family flags must agree: some code goes by one, some by the other.
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) {
        const FamilyGroup g = groupOf(i);
        const auto& r = kPartTable[i];
        EXPECT_EQ(r.is32Bit, g != FamilyGroup::Legacy8051 && g != FamilyGroup::Family8051) << i;
        EXPECT_EQ(r.isLark, g == FamilyGroup::Lark) << i;
        EXPECT_EQ(r.isWren, g == FamilyGroup::Wren) << i;
        EXPECT_EQ(r.isTeal, g == FamilyGroup::Teal || g == FamilyGroup::Marl) << i;
        EXPECT_EQ(r.isSonra, g == FamilyGroup::Sonra) << i;
    }
}

TEST(Catalogue, LegacyPikeRowsMirrorTheFamilyRows) {
    for (std::uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(kPartTable[40 + k].partNumber, kPartTable[136 + k].partNumber);
        EXPECT_TRUE(isPartRow(40 + k));
        EXPECT_FALSE(kPartTable[40 + k].hasLdrom);
        EXPECT_EQ(kPartTable[136 + k].ldromLastAddress, 0x7FFu);
    }
}

TEST(Catalogue, FormerNumbers) {
    for (const auto& alias : kNameAliases) {
        EXPECT_NE(alias.former.find("(I)"), std::string_view::npos);
        EXPECT_EQ(ChipCatalogue::nameAliases(alias.former), alias.current);
        ChipCatalogue catalogue;
        const auto found = catalogue.findPart(alias.current, false);
        ASSERT_TRUE(found) << alias.current;
        EXPECT_LT(*found, 100u);
    }
    EXPECT_EQ(ChipCatalogue::nameAliases("QK200"), "QK200");
}

TEST(Catalogue, LookupsAndMasking) {
    ChipCatalogue c;
    // An index from a settings file or a programmer that lies past the table.
    EXPECT_TRUE(c.partAt(1104).partNumber.empty());
    EXPECT_FALSE(c.partAt(0xFFFFFFFF).is32Bit);
    EXPECT_FALSE(ChipCatalogue::contains(1104));

    const std::string pike(kPartTable[40].partNumber);
    EXPECT_EQ(c.findPart(pike, true), 136u);
    EXPECT_EQ(c.findPart(pike, false), 40u);
    EXPECT_FALSE(c.findPart("qk200", true)) << "search is case-sensitive";
    EXPECT_FALSE(c.findPart("QK200", false)) << "ICP rows are not searched without ICP";

    c.setLegacyListMasked(true);
    EXPECT_TRUE(c.isSeparator(45));
    EXPECT_FALSE(c.findPart(pike, false));
    EXPECT_EQ(c.partAt(40).legacyChipCode, kPartTable[40].legacyChipCode);
    c.setLegacyListMasked(false);
    EXPECT_EQ(c.partAt(51).partNumber, kPartTable[51].partNumber);
}

// The compiled catalogue against the rules the code relies on that the data compiler cannot
// see: the family blocks, the mirrored legacy rows, the aliases and the lookups.

#include <gtest/gtest.h>

#include <string>

#include "core/chip_catalogue.h"

using namespace tarnel;

namespace {

// Where a real part (not a separator, not an empty row) sits.
bool isPartRow(std::uint32_t i) {
    const auto& n = partTable()[i].partNumber;
    return !n.empty() && n != "-";
}

}  // namespace

// The code's family blocks and the data agree: each block's list is filled up to its end and
// empty after it, and every row lies in one block whose family flags it carries.
TEST(Catalogue, BlocksAgreeWithTheData) {
    for (FamilyGroup g :
         {FamilyGroup::Legacy8051, FamilyGroup::Family8051, FamilyGroup::Kite, FamilyGroup::Lark,
          FamilyGroup::Wren, FamilyGroup::Teal, FamilyGroup::Sonra, FamilyGroup::Marl}) {
        ASSERT_EQ(groupOf(groupBase(g)), g);
        for (std::uint32_t i = groupBase(g); i < kCatalogueSize && groupOf(i) == g; ++i)
            EXPECT_EQ(partTable()[i].partNumber.empty(), i >= listEnd(g)) << "row " << i;
    }
    // Some code goes by the block, some by the flags.
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) {
        const FamilyGroup g = groupOf(i);
        const auto& r = partTable()[i];
        EXPECT_EQ(r.is32Bit, g != FamilyGroup::Legacy8051 && g != FamilyGroup::Family8051) << i;
        EXPECT_EQ(r.isLark, g == FamilyGroup::Lark) << i;
        EXPECT_EQ(r.isWren, g == FamilyGroup::Wren) << i;
        EXPECT_EQ(r.isTeal, g == FamilyGroup::Teal || g == FamilyGroup::Marl) << i;
        EXPECT_EQ(r.isSonra, g == FamilyGroup::Sonra) << i;
    }
}

TEST(Catalogue, LegacyPikeRowsMirrorTheFamilyRows) {
    for (std::uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(partTable()[40 + k].partNumber, partTable()[136 + k].partNumber);
        EXPECT_TRUE(isPartRow(40 + k));
        EXPECT_FALSE(partTable()[40 + k].hasLdrom);
        EXPECT_EQ(partTable()[136 + k].ldromLastAddress, 0x7FFu);
    }
}

TEST(Catalogue, FormerNumbers) {
    for (const auto& alias : kNameAliases) {
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

    // Which rows a Pike part is found in, masked or not, is the project loader's test.
    EXPECT_FALSE(c.findPart("qk200", true)) << "search is case-sensitive";
    EXPECT_FALSE(c.findPart("QK200", false)) << "ICP rows are not searched without ICP";

    c.setLegacyListMasked(true);
    EXPECT_TRUE(c.isSeparator(45));
    EXPECT_EQ(c.partAt(40).legacyChipCode, partTable()[40].legacyChipCode);
    c.setLegacyListMasked(false);
    EXPECT_EQ(c.partAt(51).partNumber, partTable()[51].partNumber);
}

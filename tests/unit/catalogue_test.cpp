// The compiled catalogue checked against every rule the rest of the system relies on.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/chip_catalogue.h"

using namespace tarnel;

namespace {

bool in(std::uint32_t i, std::uint32_t lo, std::uint32_t hi) {
    return i >= lo && i <= hi;
}

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
}

TEST(Catalogue, FlagsFollowRowRanges) {
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) {
        SCOPED_TRACE(i);
        const auto& r = kPartTable[i];
        EXPECT_EQ(r.legacyConfig, in(i, 36, 51));
        EXPECT_EQ(r.is32Bit, i >= 200);
        EXPECT_EQ(r.isLark, in(i, 800, 849));
        EXPECT_EQ(r.isWren, in(i, 850, 899));
        EXPECT_EQ(r.isTeal, in(i, 900, 999) || in(i, 1100, 1103));
        EXPECT_EQ(r.isTern, in(i, 132, 135));
        EXPECT_EQ(r.isPike, in(i, 40, 51) || in(i, 136, 147));
        EXPECT_EQ(r.isSonra, in(i, 1000, 1099));
        EXPECT_EQ(r.isTQ17A, i == 131);

        const bool algoPart = isPartRow(i) && ((in(i, 850, 999)) || in(i, 1100, 1102));
        EXPECT_EQ(r.algoFlag, algoPart ? 0xFF : 0x00);

        if (in(i, 0, 51) && isPartRow(i)) {
            const auto c = r.legacyChipCode;
            EXPECT_TRUE(c <= 0x0C || in(c, 0x40, 0x4D) || in(c, 0x50, 0x58)) << int{c};
        } else {
            EXPECT_EQ(r.legacyChipCode, 0);
        }
        if (i < 100) {
            EXPECT_EQ(r.deviceId, 0u);
        }

        if (in(i, 100, 131)) {
            EXPECT_LE(r.algoParamA, 2);
            EXPECT_EQ(r.algoParamC, 2);
            EXPECT_TRUE(r.algoParamD == 0xFD || r.algoParamD == 0xFB);
        } else {
            EXPECT_EQ(r.algoParamA, i == 1000 ? 1 : 0);
            EXPECT_EQ(r.algoParamC, 0);
            EXPECT_EQ(r.algoParamD, 0);
        }
        if (in(i, 100, 130)) {
            EXPECT_TRUE(r.algoParamB == 1 || r.algoParamB == 2);
        } else {
            EXPECT_EQ(r.algoParamB, (in(i, 131, 147) || i >= 200) ? 2 : 0);
        }
    }
}

TEST(Catalogue, SubFamilyNaming) {
    for (std::uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(kPartTable[40 + k].partNumber, kPartTable[136 + k].partNumber);
        EXPECT_TRUE(isPartRow(40 + k));
        EXPECT_FALSE(kPartTable[40 + k].hasLdrom);
        EXPECT_EQ(kPartTable[136 + k].ldromLastAddress, 0x7FFu);
    }
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) {
        const auto n = kPartTable[i].partNumber;
        EXPECT_EQ(n.starts_with("KiteU"), in(i, 276, 281)) << i;
        if (in(i, 900, 999) && isPartRow(i)) {
            ASSERT_GE(n.size(), 11u) << i;
            EXPECT_TRUE(n[10] == 'A' || n[10] == 'B') << i;
        }
        if (in(i, 1100, 1103)) {
            EXPECT_LT(n.size(), 11u) << i;
        }
    }
}

TEST(Catalogue, DataFlashRulesPerFamily) {
    const std::set<std::uint32_t> fixedStarts{0x200, 0x3000, 0xF000, 0xFC00, 0x1F000};
    const std::set<std::uint32_t> fixedSizes{0x80, 0x100, 0x200, 0x1000};
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) {
        SCOPED_TRACE(i);
        const auto& r = kPartTable[i];
        if (!isPartRow(i)) {
            // Separators and empty rows carry no sizes and no device id.
            EXPECT_EQ(r.apromLastAddress | r.dataFlashStart | r.dataFlashSize | r.ldromLastAddress |
                          r.deviceId,
                      0u);
            if (i >= 200 && r.partNumber == "-") {
                EXPECT_TRUE(r.is32Bit && r.hasDataFlash && r.hasLdrom);
                EXPECT_EQ(r.algoParamB, 2);
            }
            continue;
        }
        EXPECT_EQ(r.hasLdrom, r.ldromLastAddress != 0);
        if (r.dataFlashInAprom) {
            EXPECT_TRUE(r.hasDataFlash);
        }
        const std::uint32_t aprom = r.apromLastAddress + 1;
        if (r.isWren || r.isTeal) {
            EXPECT_TRUE(r.dataFlashInAprom);
            EXPECT_EQ(r.dataFlashStart, aprom - 512);
            EXPECT_EQ(r.dataFlashSize, aprom - 512);
        } else if (in(i, 276, 281)) {
            EXPECT_TRUE(r.dataFlashInAprom);
            EXPECT_EQ(r.dataFlashStart, 0x1F000u);
        } else if (r.dataFlashInAprom) {
            EXPECT_EQ(r.dataFlashStart, 0u);
            EXPECT_GT(r.dataFlashSize, 0u);
        } else if (r.hasDataFlash) {
            EXPECT_TRUE(fixedStarts.count(r.dataFlashStart)) << r.dataFlashStart;
            EXPECT_TRUE(fixedSizes.count(r.dataFlashSize)) << r.dataFlashSize;
        } else {
            EXPECT_EQ(r.dataFlashStart | r.dataFlashSize, 0u);
        }
        if (r.isTern) {
            EXPECT_EQ(r.dataFlashStart, 0x200u);
            EXPECT_EQ(r.dataFlashSize, 0x200u);
        }
        if (r.apromPages != 0) {
            EXPECT_LT(i, 100u);
            EXPECT_TRUE(r.hasDataFlash && !r.dataFlashInAprom);
            EXPECT_TRUE(r.apromPages == 0x10 || r.apromPages == 0x20 || r.apromPages == 0x40 ||
                        r.apromPages == 0x80);
            EXPECT_EQ(r.dataFlashStartPage * 256, r.dataFlashStart);
            EXPECT_TRUE(r.dataFlashStartPage == 0x30 || r.dataFlashStartPage == 0xF0);
        } else {
            EXPECT_EQ(r.dataFlashStartPage, 0u);
        }
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

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

TEST(Catalogue, QuotedRowsAreExact) {
    const auto& r2 = kPartTable[2];
    EXPECT_EQ(r2.partNumber, "QM114");
    EXPECT_FALSE(r2.legacyConfig || r2.hasDataFlash || r2.hasLdrom || r2.is32Bit);
    EXPECT_EQ(r2.apromLastAddress, 0x37FFu);
    EXPECT_EQ(r2.legacyChipCode, 0x02);
    EXPECT_EQ(r2.deviceId, 0u);

    const auto& r37 = kPartTable[37];
    EXPECT_EQ(r37.partNumber, "QM237");
    EXPECT_TRUE(r37.legacyConfig && r37.hasDataFlash);
    EXPECT_FALSE(r37.dataFlashInAprom || r37.hasLdrom || r37.isPike);
    EXPECT_EQ(r37.apromLastAddress, 0x3FFFu);
    EXPECT_EQ(r37.dataFlashStart, 0xF000u);
    EXPECT_EQ(r37.dataFlashSize, 0x1000u);
    EXPECT_EQ(r37.legacyChipCode, 0x0A);
    EXPECT_EQ(r37.apromPages, 0x40u);
    EXPECT_EQ(r37.dataFlashStartPage, 0xF0u);

    const auto& r100 = kPartTable[100];
    EXPECT_EQ(r100.partNumber, "QM400");
    EXPECT_TRUE(r100.hasDataFlash);
    EXPECT_FALSE(r100.hasLdrom || r100.dataFlashInAprom);
    EXPECT_EQ(r100.apromLastAddress, 0x7FFu);
    EXPECT_EQ(r100.dataFlashStart, 0xFC00u);
    EXPECT_EQ(r100.dataFlashSize, 0x100u);
    EXPECT_EQ(r100.deviceId, 0x0089u);
    EXPECT_EQ(r100.algoParamA, 2);
    EXPECT_EQ(r100.algoParamB, 1);
    EXPECT_EQ(r100.algoParamC, 2);
    EXPECT_EQ(r100.algoParamD, 0xFD);
    EXPECT_EQ(r100.config0Layout, 1);
    EXPECT_EQ(r100.config1Layout, 1);

    const auto& r200 = kPartTable[200];
    EXPECT_EQ(r200.partNumber, "QK200");
    EXPECT_TRUE(r200.is32Bit && r200.hasDataFlash && r200.hasLdrom);
    EXPECT_FALSE(r200.dataFlashInAprom);
    EXPECT_EQ(r200.apromLastAddress, 0x7FFFu);
    EXPECT_EQ(r200.dataFlashStart, 0x1F000u);
    EXPECT_EQ(r200.dataFlashSize, 0x1000u);
    EXPECT_EQ(r200.ldromLastAddress, 0xFFFu);
    EXPECT_EQ(r200.deviceId, 0x0E62u);
    EXPECT_EQ(r200.algoParamB, 2);

    const auto& r207 = kPartTable[207];
    EXPECT_EQ(r207.partNumber, "QK207");
    EXPECT_TRUE(r207.is32Bit && r207.hasDataFlash && r207.hasLdrom && r207.dataFlashInAprom);
    EXPECT_EQ(r207.apromLastAddress, 0x1FFFFu);
    EXPECT_EQ(r207.dataFlashStart, 0u);
    EXPECT_EQ(r207.dataFlashSize, 0x1FE00u);
    EXPECT_EQ(r207.deviceId, 0x0E80u);

    const auto& r850 = kPartTable[850];
    EXPECT_EQ(r850.partNumber, "QW850");
    EXPECT_TRUE(r850.is32Bit && r850.isWren && r850.dataFlashInAprom && r850.hasLdrom);
    EXPECT_EQ(r850.apromLastAddress, 0xFFFu);
    EXPECT_EQ(r850.dataFlashStart, 0xE00u);
    EXPECT_EQ(r850.dataFlashSize, 0xE00u);
    EXPECT_EQ(r850.ldromLastAddress, 0x7FFu);
    EXPECT_EQ(r850.deviceId, 0x1731u);
    EXPECT_EQ(r850.algoFlag, 0xFF);

    const auto& r1000 = kPartTable[1000];
    EXPECT_EQ(r1000.partNumber, "SonraOne");
    EXPECT_TRUE(r1000.is32Bit && r1000.isSonra && r1000.dataFlashInAprom);
    EXPECT_EQ(r1000.apromLastAddress, 0x233FFu);
    EXPECT_EQ(r1000.dataFlashStart, 0u);
    EXPECT_EQ(r1000.dataFlashSize, 0x24000u);
    EXPECT_EQ(r1000.ldromLastAddress, 0xFFFu);
    EXPECT_EQ(r1000.deviceId, 0x0183u);
    EXPECT_EQ(r1000.algoParamA, 1);

    const auto& r1100 = kPartTable[1100];
    EXPECT_EQ(r1100.partNumber, "MarlQ1");
    EXPECT_TRUE(r1100.is32Bit && r1100.isTeal && r1100.dataFlashInAprom);
    EXPECT_EQ(r1100.apromLastAddress, 0xFFFFu);
    EXPECT_EQ(r1100.dataFlashStart, 0xFE00u);
    EXPECT_EQ(r1100.dataFlashSize, 0xFE00u);
    EXPECT_EQ(r1100.deviceId, 0x1470u);
    EXPECT_EQ(r1100.algoFlag, 0xFF);
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

TEST(Catalogue, BitTableLayoutsAndClockTexts) {
    auto layouts = [](std::uint32_t i) -> std::pair<int, int> {
        if (in(i, 100, 109) || in(i, 127, 130) || i == 116)
            return {1, 1};
        if (in(i, 110, 113))
            return {2, 3};
        if (in(i, 114, 115))
            return {3, 4};
        if (in(i, 117, 118))
            return {4, 5};
        if (in(i, 119, 120) || i == 131)
            return {5, 6};
        if (in(i, 121, 126))
            return {6, 7};
        return {0, 0};
    };
    auto clock = [](std::uint32_t i) -> std::array<std::string_view, 4> {
        if (in(i, 100, 109) || in(i, 127, 130))
            return {"External XTAL (4MHz~20MHz)", "Internal OSC (6MHz)", "(Invalid !)",
                    "Clock from XTAL1"};
        if (in(i, 110, 113) || in(i, 119, 120) || i == 131)
            return {"External XTAL (4MHz~24MHz)", "Internal OSC (11/22MHz)", "(Invalid !)",
                    "Clock from XTAL1"};
        if (in(i, 114, 115))
            return {"External XTAL (4MHz~20MHz)", "Internal OSC (2.5/5/10/20MHz)", "(Invalid !)",
                    "Clock from XTAL1"};
        if (i == 116)
            return {"-", "-", "-", "-"};
        if (in(i, 117, 118))
            return {"External XTAL (4MHz~12MHz)", "Internal OSC (455KHz)",
                    "External XTAL (32KHz~1MHz)", "Clock from XTAL1"};
        if (in(i, 121, 126))
            return {"External XTAL (4MHz~40MHz)", "Internal OSC (11/22MHz)", "(Invalid !)",
                    "Clock from XTAL1"};
        return {"", "", "", ""};
    };
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) {
        SCOPED_TRACE(i);
        const auto [c0, c1] = layouts(i);
        EXPECT_EQ(kPartTable[i].config0Layout, c0);
        EXPECT_EQ(kPartTable[i].config1Layout, c1);
        EXPECT_EQ(kPartTable[i].clockSourceText, clock(i));
    }
    EXPECT_EQ(kPartTable[116].partNumber, "-");
    EXPECT_EQ(kPartTable[131].partNumber, "TQ17A");
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

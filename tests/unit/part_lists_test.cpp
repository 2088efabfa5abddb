// The family and part list rules: remembered parts and refusals while busy.

#include <gtest/gtest.h>

#include "core/config_model.h"
#include "core/part_lists.h"

using namespace tarnel;

namespace {

void setType(ProgrammingJob& job, std::uint8_t type, std::uint32_t index) {
    job.programmerType = type;
    job.partIndex = index;
    job.refreshDerivedState();
    applyLegacyListMask(job);
}

}  // namespace

TEST(PartLists, FamilyListFollowsPart) {
    ProgrammingJob job;
    setType(job, kTypeIcp, 905);
    ListState f = fillFamilyList(job);
    ASSERT_EQ(f.entries.size(), 6u);
    EXPECT_EQ(f.entries[0], "Vexa_Kite");
    EXPECT_EQ(f.entries[5], "Marl Family");
    EXPECT_EQ(f.selected, 3u);
    EXPECT_TRUE(f.enabled);
    EXPECT_EQ(job.categoryStr, "Vexa_Teal");
    EXPECT_EQ(job.partListIndex, 5u);
    EXPECT_EQ(job.lastPartPerFamily[4], 905u);

    // A Family8051 part shows the first family entry with the 8051 rows in the part list.
    setType(job, kTypeIcp, 100);
    f = fillFamilyList(job);
    EXPECT_EQ(f.selected, 0u);
    EXPECT_EQ(job.categoryStr, "8051 Family");
    const ListState p = fillPartList(job);
    EXPECT_EQ(p.entries.size(), 48u);
    EXPECT_EQ(p.entries[16], "-");

    setType(job, kTypeIsp, 2);
    f = fillFamilyList(job);
    EXPECT_FALSE(f.enabled);
    EXPECT_EQ(fillPartList(job).entries.size(), 52u);
}

TEST(PartLists, SelectingFamilyAndPart) {
    ProgrammingJob job;
    setType(job, kTypeIcp, 200);
    fillFamilyList(job);

    auto out = selectFamily(job, 2);  // Vexa_Wren: its first row
    EXPECT_TRUE(out.partChanged);
    EXPECT_EQ(job.partIndex, 850u);
    EXPECT_EQ(selectPart(job, 3).partChanged, true);
    EXPECT_EQ(job.partIndex, 853u);

    selectFamily(job, 0);
    EXPECT_EQ(job.partIndex, 200u);
    selectFamily(job, 2);
    EXPECT_EQ(job.partIndex, 853u) << "the remembered part of the group comes back";
    EXPECT_FALSE(selectFamily(job, 2).partChanged) << "same family: nothing changes";

    // Selecting the selected part again keeps edited CONFIG words.
    job.configBytes[7] = 0x12;
    EXPECT_FALSE(selectPart(job, 3).partChanged);
    EXPECT_EQ(job.configBytes[7], 0x12);
    selectPart(job, 4);
    EXPECT_EQ(job.configBytes[7], 0xFF);

    job.busy = true;
    out = selectPart(job, 0);
    EXPECT_TRUE(out.refused);
    EXPECT_EQ(out.restorePosition, 4u);
    EXPECT_EQ(job.partIndex, 854u);
    EXPECT_TRUE(selectFamily(job, 5).refused);
    job.busy = false;
    EXPECT_TRUE(selectPart(job, 500).refused) << "a position past the list is refused";
}

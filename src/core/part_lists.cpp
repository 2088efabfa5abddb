#include "core/part_lists.h"

#include <array>

namespace tarnel {

namespace {

constexpr std::array<FamilyGroup, 6> kFamilyEntries = {
    FamilyGroup::Kite, FamilyGroup::Lark,  FamilyGroup::Wren,
    FamilyGroup::Teal, FamilyGroup::Sonra, FamilyGroup::Marl,
};

}  // namespace

std::uint32_t familyPosition(FamilyGroup group) {
    for (std::uint32_t i = 0; i < kFamilyEntries.size(); ++i) {
        if (kFamilyEntries[i] == group)
            return i;
    }
    return 0;  // Family8051 and Legacy8051 show the first entry
}

namespace {

std::uint32_t& rememberedPart(ProgrammingJob& job, FamilyGroup group) {
    const int slot = familySlot(group);
    return slot < 0 ? job.lastPartNoFamily : job.lastPartPerFamily[static_cast<std::size_t>(slot)];
}

}  // namespace

int familySlot(FamilyGroup group) {
    switch (group) {
        case FamilyGroup::Legacy8051:
            return -1;
        case FamilyGroup::Family8051:
            return 0;
        case FamilyGroup::Kite:
            return 1;
        case FamilyGroup::Lark:
            return 2;
        case FamilyGroup::Wren:
            return 3;
        case FamilyGroup::Teal:
            return 4;
        case FamilyGroup::Sonra:
            return 5;
        case FamilyGroup::Marl:
            return 6;
    }
    return -1;
}

ListState fillFamilyList(ProgrammingJob& job) {
    ListState list;
    for (FamilyGroup g : kFamilyEntries)
        list.entries.emplace_back(familyText(g));

    const FamilyGroup group = groupOf(job.partIndex);
    job.familyListIndex = familyPosition(group);
    job.categoryStr = group == FamilyGroup::Legacy8051
                          ? std::string(familyText(FamilyGroup::Family8051))
                          : std::string(familyText(group));

    job.lastPartPerFamily = kFamilyBases;
    job.lastPartNoFamily = 2;
    rememberedPart(job, group) = job.partIndex;

    job.partListIndex =
        group == FamilyGroup::Legacy8051 ? job.partIndex : job.partIndex - groupBase(group);

    if (!job.icpMode) {
        job.familyListIndex = 0;
        job.categoryStr = familyText(FamilyGroup::Family8051);
        list.enabled = false;
    }
    list.selected = job.familyListIndex;
    return list;
}

ListState fillPartList(const ProgrammingJob& job) {
    ListState list;
    std::uint32_t first = 0;
    std::uint32_t end = listEnd(FamilyGroup::Legacy8051);
    if (job.icpMode) {
        const auto group = groupOfFamilyText(job.categoryStr);
        if (!group)
            return list;
        first = groupBase(*group);
        end = listEnd(*group);
    }
    for (std::uint32_t i = first; i < end; ++i) {
        list.entries.emplace_back(job.catalogue.partAt(i).partNumber);
    }
    list.selected = job.partIndex >= first ? job.partIndex - first : 0;
    return list;
}

SelectionOutcome selectFamily(ProgrammingJob& job, std::uint32_t position) {
    SelectionOutcome out;
    if (job.busy || position >= kFamilyEntries.size()) {
        out.refused = true;
        out.restorePosition = job.familyListIndex;
        return out;
    }
    const FamilyGroup group = kFamilyEntries[position];
    job.previousCategoryStr = job.categoryStr;
    job.familyListIndex = position;
    if (familyText(group) == job.categoryStr)
        return out;
    job.categoryStr = familyText(group);

    job.partIndex = job.icpMode ? rememberedPart(job, group) : job.lastPartNoFamily;
    job.partListIndex = job.partIndex - groupBase(groupOf(job.partIndex));
    job.refreshDerivedState();
    out.partChanged = true;
    return out;
}

SelectionOutcome selectPart(ProgrammingJob& job, std::uint32_t position) {
    SelectionOutcome out;
    const ListState list = fillPartList(job);
    if (job.busy || position >= list.entries.size()) {
        out.refused = true;
        out.restorePosition = job.partListIndex;
        return out;
    }
    job.partListIndex = position;
    std::uint32_t index = position;
    FamilyGroup group = FamilyGroup::Legacy8051;
    if (job.icpMode) {
        group = *groupOfFamilyText(job.categoryStr);  // fillPartList found it
        index = groupBase(group) + position;
    }
    std::uint32_t& remembered = rememberedPart(job, group);
    if (index == remembered && index == job.partIndex)
        return out;
    remembered = index;
    job.partIndex = index;
    job.refreshDerivedState();
    out.partChanged = true;
    return out;
}

void applyLegacyListMask(ProgrammingJob& job) {
    job.catalogue.setLegacyListMasked(!job.comPortIspMode);
}

}  // namespace tarnel

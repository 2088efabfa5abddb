#pragma once
// The family list and the part list of the main window, as operations on the job that
// return what the lists show. The window and the command line both use them.

#include <cstdint>
#include <string>
#include <vector>

#include "core/programming_job.h"

namespace tarnel {

struct ListState {
    std::vector<std::string> entries;
    std::uint32_t selected = 0;
    bool enabled = true;
};

// Family list: the six family texts; the selection follows partIndex. Resets the remembered
// part of every group, then remembers partIndex in its own group. Disabled without ICP.
ListState fillFamilyList(ProgrammingJob& job);

// Part list: with ICP the rows of the selected family, otherwise legacy rows 0..51.
ListState fillPartList(const ProgrammingJob& job);

struct SelectionOutcome {
    bool refused = false;      // a command is running: put the list back at restorePosition
    bool partChanged = false;  // a new part was selected; derived state has been refreshed
    std::uint32_t restorePosition = 0;
};

// The operator chose family list entry `position`.
SelectionOutcome selectFamily(ProgrammingJob& job, std::uint32_t position);

// The operator chose part list entry `position`. Choosing the selected part again keeps the
// CONFIG words the operator edited.
SelectionOutcome selectPart(ProgrammingJob& job, std::uint32_t position);

// Rows 40..51 are offered only in ISP by COM Port; elsewhere they read "-".
void applyLegacyListMask(ProgrammingJob& job);

// Position of a group's entry in the family list (0 for the 8051 groups, which have none).
std::uint32_t familyPosition(FamilyGroup group);

// The slot of lastPartPerFamily for a group; -1 for Legacy8051 (lastPartNoFamily).
int familySlot(FamilyGroup group);

}  // namespace tarnel

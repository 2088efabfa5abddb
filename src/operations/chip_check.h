#pragma once
// Chip check: asks a single programmer whether the chip in its socket has the selected
// part's device id and whether it is locked, and, when it is neither, shows five trim bytes
// of the chip in the debug box. Started by an external trigger, only for the Pike parts of
// the 8051 family (rows 136..147).

#include "core/programming_job.h"
#include "core/read_back.h"
#include "link/programmer_session.h"

namespace tarnel {

// True when the selected part is one the chip check serves; otherwise the caller shows
// kChipCheckWrongPart in the debug box instead.
bool chipCheckApplies(const ProgrammingJob& job);
inline constexpr std::string_view kChipCheckWrongPart = "Not QB7710 parts !";

// The worker body (0xD0). True when the trim bytes were read and shown.
bool chipCheckWorker(ProgrammerSession& session, ReadBackState& readBack);

}  // namespace tarnel

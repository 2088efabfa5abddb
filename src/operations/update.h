#pragma once
// Update Chips: the programmer programs the chip in its socket (or the gang programmer the
// chips in its four sockets) from the setup Download Programmer stored. The host compares
// the programmer's report of that setup with the job first; a single programmer that holds
// another setup is downloaded again, once per command.

#include "core/operator.h"
#include "core/programming_job.h"
#include "link/programmer_session.h"

namespace tarnel {

// The FAIL text when the programmer still differs after the one automatic download of a
// command (or asks for a second firmware reload).
inline constexpr std::string_view kStillAnotherSetup =
    "Programmer still reports another setup after the download !";

// The chip-counter test of Update Chip, on the window's thread before the worker starts:
// false (after the WARNING box) when the counter has reached the end it counts towards.
bool chipCounterAllowsUpdate(ProgrammingJob& job, Operator& op);

// The worker body of Update Chip: the gang or the single update by the job's mode.
void updateWorker(ProgrammerSession& session);

// Single programmer (ISP or ICP).
void updateSingleWorker(ProgrammerSession& session);

// The ICP part of the single update, after the go byte; true when the chip passed.
bool icpUpdateSteps(ProgrammerSession& session);

// Gang programmer: the stored-setup check on unit #1, the S/N hand-out, the start, the
// polling for the result byte and its report. Leaves socketNumber at 0.
void updateGangWorker(ProgrammerSession& session);

// Download Programmer, then (when it succeeded) a new update that may not download again.
void runDownloadThenUpdate(ProgrammerSession& session);

}  // namespace tarnel

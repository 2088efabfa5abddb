#pragma once
// Verify Chip: checks one chip against the current images and CONFIG words, without relying
// on what the programmer stores. An ISP programmer is streamed the APROM image page by page
// and answers per page; with an ICP programmer the whole chip is read back and compared here.
//
// In gang mode the link reaches the chosen socket's unit first (prepareGangSocket of
// read_chip.h, on the window's thread).

#include <string>

#include "core/read_back.h"
#include "link/programmer_session.h"

namespace tarnel {

// The worker body (0xC7). True when the PASS box was shown.
bool verifyWorker(ProgrammerSession& session, ReadBackState& readBack);

// The ICP method, after 0xC7 and its acknowledge: the read in its verifying form, then the
// comparison. True when the PASS box was shown.
bool icpVerify(ProgrammerSession& session, ReadBackState& readBack);

// The ICP verdict over what the read left: one line per selected region (APROM, DataFlash,
// LDROM) and CONFIG, in that order.
struct VerifyVerdict {
    std::string text;
    bool pass = true;
};
VerifyVerdict icpVerdict(const ProgrammingJob& job, const ReadBackState& readBack);

}  // namespace tarnel

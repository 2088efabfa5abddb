#pragma once
// Download Programmer: stores the part, the three images, the CONFIG bytes, the FLAGs, the
// usage limit and the part's programming parameters in the programmer, which reads its
// storage back and reports a checksum per image. A gang programmer first takes a header of
// its own and then relays the record to each of its four units.

#include "link/programmer_session.h"

namespace tarnel {

// How one storage download ended.
enum class StorageOutcome {
    Verified,       // every selected region stored and its checksum confirmed
    ChecksumError,  // a region's checksum differed; the link is fine, the storage is not
    Stopped,        // a search, check or link step failed and has said why
};

// On the window's thread before a gang download starts: finds the gang programmer and reads
// its version, which decides whether it takes the extended header. False when the search
// failed (it has said why).
bool prepareGangDownload(ProgrammerSession& session);

// The worker body: size checks, then one storage download, or the gang header with each
// unit's download. Leaves socketNumber at 0; busy is the caller's.
void downloadWorker(ProgrammerSession& session);

// One storage record with its transfer and verification, to a single programmer or to the
// gang unit that the link reaches now (socketNumber 1..4).
StorageOutcome downloadStorage(ProgrammerSession& session);

// A gang programmer's sync byte, which must be `expected` ("Sync #n error !" otherwise); with
// longWait it is awaited under the long profile, and the standard one is restored after.
bool receiveGangSync(ProgrammerSession& session, std::uint8_t expected, bool longWait);

// The S/N settings exchange (0xD2) with the programmer the link reaches now.
bool sendSerialNumberSetting(ProgrammerSession& session);

}  // namespace tarnel

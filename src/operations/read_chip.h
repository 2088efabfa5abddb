#pragma once
// Read Chip: copies one chip into the read-back buffers. An ICP programmer reads the whole
// chip (APROM, DataFlash, LDROM, CONFIG) and the viewer shows it; an ISP programmer reads only
// the CONFIG words, which open in the part's CONFIG view. The ICP read is also the first half
// of an ICP verify.
//
// With a gang programmer the link is first connected to one socket's unit (prepareGangSocket,
// on the window's thread); the worker then talks to that unit as to a single programmer.

#include <array>
#include <cstdint>

#include "core/part_record.h"
#include "core/read_back.h"
#include "link/programmer_session.h"

namespace tarnel {

// Connects the gang link to the unit of socket 1..4: 0xCC..0xCF, the gang acknowledge, then
// the unit's sync byte (the socket number) within 8 s. False after the FAIL box.
bool socketConnect(ProgrammerSession& session, int socket);

// The gang preparation of Verify Chip and Read Chip: the socket choice (kept in
// readBack.socketChoice), the gang search, the gang firmware check (and a second search when
// it reloaded) and socketConnect. False when the command must not start.
bool prepareGangSocket(ProgrammerSession& session, ReadBackState& readBack);

// The worker body of Read Chip (0xC9). True when the read ran to its end and its view was
// shown; false after a FAIL or a stop on a locked chip or a wrong device id.
bool readWorker(ProgrammerSession& session, ReadBackState& readBack);

// The ICP read after the command byte (0xC9 or 0xC7) and its acknowledge. Fills the
// read-back state; unless readBack.readForVerifying, opens the viewer at the end. Returns
// false when it stopped early: a link failure (readComplete stays as it was), or a locked
// 32-bit or Pike chip or a device id error (readComplete cleared).
bool readChipContents(ProgrammerSession& session, ReadBackState& readBack);

// What an ICP read asks for, derived from the part and, where the DataFlash lies in APROM,
// from the chip's own CONFIG bytes c0..c7 (and, for one rule, the job's CONFIG bytes).
// Both last addresses are bounded by the 256 KiB read-back buffers: one below zero reads
// nothing, one past the buffer is cut to its end. They are sent as bounded, so the host and
// the programmer count the same blocks.
struct IcpReadPlan {
    std::uint32_t readLimit = 0;          // flash size used by the rules (recomputed for 32-bit)
    std::uint32_t apromLast = 0;          // A
    std::uint32_t dataFlashLast = 0;      // D
    std::uint8_t dataFlashStartHigh = 0;  // DataFlash start bits 23..16
    std::uint8_t dataFlashStartMid = 0;   // and bits 15..8
    bool readDataFlash = false;
};

IcpReadPlan planIcpRead(const PartRecord& part, const std::array<std::uint8_t, 8>& jobConfig,
                        const std::array<std::uint8_t, 8>& chip, std::uint32_t readLimit);

}  // namespace tarnel

#pragma once
// Where the serial numbers written to chips come from on a line: the line's ledger, one
// hand-out per chip. A job outside a line has no source and steps its own counter.
//
// The operations call it chip by chip, on the command's worker thread:
//   take, markSent    before the number goes on the wire (reserve; then set the job's S/N
//                     and mark it sent); a chip whose number cannot be had is not programmed
//   passed            the chip passed: its number is used up
//   failed            the programmer or the boot loader says the chip failed: it goes back
//   settle            at the end of the chip's work, whatever became of it: a number still
//                     held that never went out goes back; one that went out to a chip whose
//                     fate is unknown (the link was lost) is retired, since the chip may
//                     carry it
//
// A ledger step that fails after the chip's work (the database went away) leaves the
// hand-out open; the station's next recover() settles it. The failure is kept as trouble()
// so the line can stop the station before its next chip.

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/serial_ledger.h"

namespace tarnel {

class Operator;
class ProgrammingJob;

class SerialNumberSource {
  public:
    // Slots: 0 for a single chip, 1..4 for the gang programmer's sockets.
    static constexpr int kSlots = 5;

    SerialNumberSource(SerialLedger& ledger, std::string station);
    const std::string& station() const { return station_; }

    // A number for the chip in `slot` (a number the slot still holds goes back first);
    // empty with the reason when the ledger cannot give one.
    std::optional<SerialValue> take(int slot, std::string* error);
    // The slot's number is about to go on the wire: it is put in job.serialHigh/serialLow.
    // False with the reason (the number is then given back and must not be sent).
    bool markSent(int slot, ProgrammingJob& job, std::string* error);
    void passed(int slot);
    void failed(int slot);
    // Settles every slot still held; returns the numbers retired.
    std::vector<SerialValue> settle();
    // Hears each number retired by settle() (the production record says so).
    void setRetiredListener(std::function<void(SerialValue)> listener);

    // The last failure of the ledger when closing a hand-out; empty when none.
    std::string trouble() const;
    void clearTrouble();

  private:
    struct Held {
        SerialReservation reservation;
        bool sent = false;
    };
    void close(int slot, bool used);
    // Settles one slot; the number retired, if it was.
    std::optional<SerialValue> settleSlot(int slot);

    SerialLedger& ledger_;
    std::string station_;
    mutable std::mutex mutex_;
    std::array<std::optional<Held>, kSlots> held_;
    std::function<void(SerialValue)> retired_;
    std::string trouble_;
};

// The FAIL text when the ledger cannot give a chip its number.
inline constexpr const char* kLedgerUnreachable = "The serial-number ledger cannot be reached !";

// In line mode: takes the ledger's number for `slot` into the job and marks it sent; false
// after the FAIL box (failure class Link) when it cannot. Outside line mode: true at once,
// and the job's own S/N stands.
bool drawSerialNumber(ProgrammingJob& job, Operator& op, int slot);
// Reserves without marking sent (a number drawn ahead of its send); false after the FAIL box.
bool reserveSerialNumber(ProgrammingJob& job, Operator& op, int slot);
// Marks a reserved number sent and puts it in the job; false after the FAIL box.
bool sendingSerialNumber(ProgrammingJob& job, Operator& op, int slot);
// The chip in `slot` passed with the job's S/N: the ledger's number is used up, or (outside
// a line) the job's own serial number steps on.
void serialNumberUsed(ProgrammingJob& job, int slot);
// The chip in `slot` failed by the word of the programmer or the boot loader: on a line its
// number goes back. Nothing happens outside a line.
void serialNumberRefused(ProgrammingJob& job, int slot);
// On a line, settles what the chip's work left held (see SerialNumberSource::settle).
void settleSerialNumbers(ProgrammingJob& job);

}  // namespace tarnel

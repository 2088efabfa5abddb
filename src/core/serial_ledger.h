#pragma once
// The serial-number ledger of a line: one sequence of serial numbers shared by every station
// (and every PC) of the line, so that no two chips ever carry the same S/N.
//
// A station reserves a number for each chip before it goes on the wire. A chip that passed
// uses its number up; a chip that failed gives it back, and returned numbers are handed out
// again before new ones. A number that may have reached a chip when the station stopped
// without saying what became of it (a crash, a power cut) is retired at the station's next
// start: never handed out again, and named so the production record can say so.
//
// Every step is durable before it returns: the file ledger writes its file atomically under
// an exclusive lock, the database ledger commits one transaction.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel {

// A 16-digit decimal serial number in the job's form: upper eight digits, lower eight digits.
struct SerialValue {
    std::uint32_t high = 0;
    std::uint32_t low = 1;
    friend bool operator==(const SerialValue&, const SerialValue&) = default;
};

// Sixteen-digit arithmetic on serial numbers: the sum wraps modulo 10^16, as the job's own
// counter does.
SerialValue addSerial(SerialValue value, SerialValue increment);
// "hhhhhhhhllllllll": the sixteen digits, upper half first.
std::string serialDigits(SerialValue value);
// One to sixteen decimal digits; empty for anything else.
std::optional<SerialValue> parseSerialDigits(std::string_view text);
// "hhhhhhhh,llllllll": the form the operator sees and the production record keeps.
std::string serialText(SerialValue value);

// A number handed to one station for one chip.
struct SerialReservation {
    std::uint64_t id = 0;  // the ledger's own handle for this hand-out
    SerialValue value;
};

class SerialLedger {
  public:
    virtual ~SerialLedger() = default;

    // A number for the station's next chip: a returned number first, else the next in
    // sequence (which then steps by the increment). Empty, with the reason in *error, when
    // the ledger cannot be reached or written: the chip must not be programmed then.
    virtual std::optional<SerialReservation> reserve(std::string_view station,
                                                     std::string* error) = 0;
    // The number is about to go on the wire: from now on it may reach a chip.
    virtual bool markSent(const SerialReservation& reservation, std::string* error) = 0;
    // The chip passed with this number: it is used up.
    virtual bool consume(const SerialReservation& reservation, std::string* error) = 0;
    // The chip failed, or the number never went out: it is handed out again first.
    virtual bool giveBack(const SerialReservation& reservation, std::string* error) = 0;
    // At a station's start: its hand-outs still open from an earlier run. Those never sent
    // go back; those that may have reached a chip are retired and returned here.
    virtual std::optional<std::vector<SerialValue>> recover(std::string_view station,
                                                            std::string* error) = 0;
};

// Opens the ledger a line file names: a file path, or a "postgresql://" connection URI.
// (Defined by the tarnel_line_db library, which holds the database backend.)
// A ledger that does not exist yet is created starting at `first`, stepping by `increment`.
std::unique_ptr<SerialLedger> openSerialLedger(const std::string& location, SerialValue first,
                                               SerialValue increment, std::string* error);

// The file ledger alone (what openSerialLedger opens for a path). The file is a small JSON
// document changed only under an exclusive lock on "<path>.lock" and replaced atomically;
// a file that exists but cannot be read or understood is an error, never a fresh start.
std::unique_ptr<SerialLedger> openFileSerialLedger(const std::string& path, SerialValue first,
                                                   SerialValue increment, std::string* error);

}  // namespace tarnel

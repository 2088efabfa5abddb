#pragma once
// Intel HEX text to a flat binary image.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/operator.h"

namespace tarnel {

enum class HexError {
    None,
    NotHexFormat,        // the text does not begin with ':'
    BadDigit,            // a character that is not a hexadecimal digit where one must stand
    TruncatedRecord,     // the text ends inside a record
    ChecksumMismatch,    // a record's bytes do not sum to zero
    ShortAddressRecord,  // an extended address record with fewer than two data bytes
    AddressBeyondImage,  // a data byte at or beyond the end of the destination
    NoEndRecord,         // the text ends before an end-of-file record
};

struct HexFailure {
    HexError error = HexError::None;
    std::size_t position = 0;  // offset in the text of the offending record or character
    std::size_t line = 0;      // 1-based line of that position
};

// One line for the command line and logs, e.g. "line 3: record checksum mismatch".
std::string describeHexFailure(const HexFailure& failure);

// Converts the whole text into destination, which is first filled with the fill byte.
// On success length = highest address written + 1 (1 for a file holding only the end-of-file
// record) and the result is true. On failure length is unchanged, the destination holds only
// the fill byte, and the result is false; a text that does not begin with ':' also shows
// "Not Intel HEX Format !" in a "<Debug>" box. Nothing is ever written outside destination.
//
// Records are read by fixed positions from their ':'; only the second digit of the record
// type is examined: 0 data, 1 end of file, 2 extended segment address, 4 extended linear
// address; records of any other type are checked and skipped. Anything between the end of
// one record and the next ':' (line ends, blanks) is passed over. Upper- and lower-case
// digits are read alike; every record's checksum must hold.
bool convertHexToBinary(std::span<const std::uint8_t> text, std::uint8_t fill,
                        std::span<std::uint8_t> destination, std::uint32_t& length, Operator& op,
                        HexFailure* failure = nullptr);

inline bool convertHexToBinary(std::string_view text, std::uint8_t fill,
                               std::span<std::uint8_t> destination, std::uint32_t& length,
                               Operator& op, HexFailure* failure = nullptr) {
    return convertHexToBinary(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), fill,
        destination, length, op, failure);
}

// The same conversion for text that arrives in pieces, as a file is read: it holds at most
// one record's text between pieces, and gives exactly what convertHexToBinary gives for the
// pieces joined (image, length, failure and its position and line).
class HexStreamConverter {
  public:
    // Fills destination with the fill byte.
    HexStreamConverter(std::uint8_t fill, std::span<std::uint8_t> destination, Operator& op);

    // Takes the next piece. False once the text has been refused or its end-of-file record
    // read: what follows need not be read.
    bool feed(std::span<const std::uint8_t> piece);

    // After the last piece: the result and length as convertHexToBinary gives them.
    bool finish(std::uint32_t& length, HexFailure* failure = nullptr);

  private:
    enum class State { Start, Between, InRecord, Done, Failed };
    enum class Step { Read, NeedsMore, Stopped };

    // The record at buffer[p]; the buffer starts at text offset start, after lines line ends.
    // Read: converted, next is one past it. NeedsMore: the buffer does not hold all of it and
    // more text may come (last is false). Stopped: the end record, or the text is refused.
    Step takeRecord(std::span<const std::uint8_t> buffer, std::size_t p, std::uint64_t start,
                    std::uint64_t lines, bool last, std::size_t& next);
    void pieceDone(std::span<const std::uint8_t> piece);
    bool refuse(HexError error, std::uint64_t position, std::uint64_t lines);

    std::uint8_t fill_;
    std::span<std::uint8_t> destination_;
    Operator& op_;
    State state_ = State::Start;
    std::uint64_t base_ = 0;      // from the last extended address record
    std::uint64_t highest_ = 0;   // highest address written
    std::uint64_t consumed_ = 0;  // text offset of the next piece
    std::uint64_t lines_ = 0;     // line ends before it
    std::uint64_t lastEnd_ = 0;   // one past the last record read
    std::uint64_t lastEndLines_ = 0;
    std::vector<std::uint8_t> partial_;  // the text of a record cut by the end of a piece
    std::uint64_t partialStart_ = 0;
    std::uint64_t partialLines_ = 0;
    std::array<std::uint8_t, 1 + 2 + 1 + 255 + 1> fields_{};  // a record's bytes
    HexFailure failure_;
};

}  // namespace tarnel

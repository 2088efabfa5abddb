#pragma once
// Intel HEX text to a flat binary image.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace tarnel

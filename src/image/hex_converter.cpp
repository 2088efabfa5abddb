#include "image/hex_converter.h"

#include <algorithm>

namespace tarnel {

namespace {

// Reads hexadecimal fields of the text by position, remembering the first fault.
class HexText {
  public:
    explicit HexText(std::span<const std::uint8_t> text) : text_(text) {}

    std::size_t size() const { return text_.size(); }
    std::uint8_t at(std::size_t pos) const { return text_[pos]; }

    bool digit(std::size_t pos, std::uint8_t& value) {
        if (pos >= text_.size())
            return fail(HexError::TruncatedRecord, pos);
        const std::uint8_t c = text_[pos];
        if (c >= '0' && c <= '9') {
            value = static_cast<std::uint8_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = static_cast<std::uint8_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            value = static_cast<std::uint8_t>(c - 'a' + 10);
        } else {
            return fail(HexError::BadDigit, pos);
        }
        return true;
    }

    bool byte(std::size_t pos, std::uint8_t& value) {
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        if (!digit(pos, high) || !digit(pos + 1, low))
            return false;
        value = static_cast<std::uint8_t>(high << 4 | low);
        return true;
    }

    bool fail(HexError error, std::size_t pos) {
        error_ = error;
        position_ = pos;
        return false;
    }

    HexError error() const { return error_; }
    std::size_t position() const { return position_; }

  private:
    std::span<const std::uint8_t> text_;
    HexError error_ = HexError::None;
    std::size_t position_ = 0;
};

// Field positions relative to the record's ':'.
constexpr std::size_t kCountPos = 1;
constexpr std::size_t kOffsetPos = 3;
constexpr std::size_t kTypeHighPos = 7;
constexpr std::size_t kTypePos = 8;
constexpr std::size_t kDataPos = 9;

struct Record {
    std::uint8_t count = 0;
    std::uint32_t offset = 0;
    std::uint8_t type = 0;  // the second digit of the type field
    std::size_t end = 0;    // one past the checksum
};

// Reads and checks one whole record, checksum included, before anything of it is used.
bool readRecord(HexText& text, std::size_t p, Record& record) {
    std::uint8_t offsetHigh = 0;
    std::uint8_t offsetLow = 0;
    std::uint8_t typeHigh = 0;
    if (!text.byte(p + kCountPos, record.count) || !text.byte(p + kOffsetPos, offsetHigh) ||
        !text.byte(p + kOffsetPos + 2, offsetLow) || !text.digit(p + kTypeHighPos, typeHigh) ||
        !text.digit(p + kTypePos, record.type)) {
        return false;
    }
    record.offset = static_cast<std::uint32_t>(offsetHigh << 8 | offsetLow);
    unsigned sum = record.count + offsetHigh + offsetLow + (typeHigh << 4 | record.type);
    // The data bytes, then the checksum byte.
    for (std::size_t i = 0; i <= record.count; ++i) {
        std::uint8_t value = 0;
        if (!text.byte(p + kDataPos + 2 * i, value))
            return false;
        sum += value;
    }
    if ((sum & 0xFF) != 0)
        return text.fail(HexError::ChecksumMismatch, p);
    record.end = p + kDataPos + 2 * (static_cast<std::size_t>(record.count) + 1);
    return true;
}

std::size_t lineOf(std::span<const std::uint8_t> text, std::size_t pos) {
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(std::min(pos, text.size()));
    return 1 + static_cast<std::size_t>(std::count(text.begin(), end, '\n'));
}

}  // namespace

std::string describeHexFailure(const HexFailure& failure) {
    std::string what;
    switch (failure.error) {
        case HexError::None:
            return "no error";
        case HexError::NotHexFormat:
            return "the text does not begin with ':'";
        case HexError::BadDigit:
            what = "character is not a hexadecimal digit";
            break;
        case HexError::TruncatedRecord:
            what = "the text ends inside a record";
            break;
        case HexError::ChecksumMismatch:
            what = "record checksum mismatch";
            break;
        case HexError::ShortAddressRecord:
            what = "address record too short";
            break;
        case HexError::AddressBeyondImage:
            what = "data address beyond 256 KiB";
            break;
        case HexError::NoEndRecord:
            what = "no end-of-file record";
            break;
    }
    return "line " + std::to_string(failure.line) + ": " + what;
}

bool convertHexToBinary(std::span<const std::uint8_t> bytes, std::uint8_t fill,
                        std::span<std::uint8_t> destination, std::uint32_t& length, Operator& op,
                        HexFailure* failure) {
    std::fill(destination.begin(), destination.end(), fill);
    HexText text(bytes);

    const auto fail = [&]() {
        // Leave no part of a rejected image behind.
        std::fill(destination.begin(), destination.end(), fill);
        if (failure != nullptr) {
            failure->error = text.error();
            failure->position = text.position();
            failure->line = lineOf(bytes, text.position());
        }
        return false;
    };

    if (text.size() == 0 || text.at(0) != ':') {
        debugMessage(op, "Not Intel HEX Format !");
        text.fail(HexError::NotHexFormat, 0);
        return fail();
    }

    std::uint64_t base = 0;
    std::uint64_t highest = 0;
    std::size_t p = 0;
    while (true) {
        Record record;
        if (!readRecord(text, p, record))
            return fail();
        switch (record.type) {
            case 0:
                for (std::size_t i = 0; i < record.count; ++i) {
                    // The address keeps counting past a 64 KiB boundary within one record.
                    const std::uint64_t address = base + record.offset + i;
                    if (address >= destination.size()) {
                        text.fail(HexError::AddressBeyondImage, p);
                        return fail();
                    }
                    std::uint8_t value = 0;
                    text.byte(p + kDataPos + 2 * i, value);
                    destination[address] = value;
                    highest = std::max(highest, address);
                }
                break;
            case 1:
                length = static_cast<std::uint32_t>(highest + 1);
                return true;
            case 2:
            case 4: {
                std::uint8_t high = 0;
                std::uint8_t low = 0;
                if (record.count < 2) {
                    text.fail(HexError::ShortAddressRecord, p);
                    return fail();
                }
                text.byte(p + kDataPos, high);
                text.byte(p + kDataPos + 2, low);
                const std::uint64_t word = static_cast<std::uint64_t>(high << 8 | low);
                base = record.type == 4 ? word << 16 : word << 4;
                break;
            }
            default:
                break;  // start addresses and unknown types change nothing
        }
        std::size_t next = record.end;
        while (next < text.size() && text.at(next) != ':')
            ++next;
        if (next >= text.size()) {
            text.fail(HexError::NoEndRecord, record.end);
            return fail();
        }
        p = next;
    }
}

}  // namespace tarnel

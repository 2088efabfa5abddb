#include "image/hex_converter.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tarnel {

namespace {

// Digit values by character; -1 for a character that is not a hexadecimal digit.
constexpr std::array<std::int8_t, 256> kDigitValue = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i)
        table[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
        table[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}();

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

// The longest record: count, offset, type, 255 data bytes and the checksum.
constexpr std::size_t kMaxRecordBytes = 1 + 2 + 1 + 255 + 1;

// Decodes one record that lies wholly in the text and holds only hexadecimal digits, in one
// pass: its bytes (count, offset, type, data, checksum) go to bytes. False when the record
// does not (the careful reader below then says what is wrong with it).
bool decodeRecord(std::span<const std::uint8_t> text, std::size_t p,
                  std::array<std::uint8_t, kMaxRecordBytes>& bytes, Record& record, unsigned& sum) {
    if (text.size() - p < kDataPos + 2)
        return false;
    const std::uint8_t* digits = text.data() + p + kCountPos;
    const int countHigh = kDigitValue[digits[0]];
    const int countLow = kDigitValue[digits[1]];
    if ((countHigh | countLow) < 0)
        return false;
    const std::size_t count = static_cast<std::size_t>(countHigh << 4 | countLow);
    const std::size_t total = 5 + count;  // bytes from the count to the checksum
    if (text.size() - p - kCountPos < 2 * total)
        return false;
    int bad = 0;
    unsigned running = 0;
    for (std::size_t i = 0; i < total; ++i) {
        const int high = kDigitValue[digits[2 * i]];
        const int low = kDigitValue[digits[2 * i + 1]];
        bad |= high | low;
        const auto value = static_cast<std::uint8_t>(high << 4 | low);
        bytes[i] = value;
        running += value;
    }
    if (bad < 0)
        return false;
    sum = running;
    record.count = bytes[0];
    record.offset = static_cast<std::uint32_t>(bytes[1] << 8 | bytes[2]);
    record.type = bytes[3] & 0x0F;
    record.end = p + kCountPos + 2 * total;
    return true;
}

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
    std::array<std::uint8_t, kMaxRecordBytes> fields{};
    const std::uint8_t* const data = fields.data() + 4;
    while (true) {
        Record record;
        unsigned sum = 0;
        if (decodeRecord(bytes, p, fields, record, sum)) {
            if ((sum & 0xFF) != 0) {
                text.fail(HexError::ChecksumMismatch, p);
                return fail();
            }
        } else {
            // A bad digit or a record cut short: find and name the first fault.
            if (!readRecord(text, p, record))
                return fail();
            const std::size_t count = std::size_t{record.count} + 1;
            for (std::size_t i = 0; i < count; ++i)
                text.byte(p + kDataPos + 2 * i, fields[4 + i]);
        }
        switch (record.type) {
            case 0:
                if (record.count != 0) {
                    // The address keeps counting past a 64 KiB boundary within one record.
                    const std::uint64_t first = base + record.offset;
                    const std::uint64_t last = first + record.count - 1;
                    if (last >= destination.size()) {
                        text.fail(HexError::AddressBeyondImage, p);
                        return fail();
                    }
                    std::memcpy(destination.data() + first, data, record.count);
                    highest = std::max(highest, last);
                }
                break;
            case 1:
                length = static_cast<std::uint32_t>(highest + 1);
                return true;
            case 2:
            case 4: {
                if (record.count < 2) {
                    text.fail(HexError::ShortAddressRecord, p);
                    return fail();
                }
                const std::uint64_t word = static_cast<std::uint64_t>(data[0] << 8 | data[1]);
                base = record.type == 4 ? word << 16 : word << 4;
                break;
            }
            default:
                break;  // start addresses and unknown types change nothing
        }
        const std::size_t rest = text.size() - std::min(record.end, text.size());
        const void* colon = rest == 0 ? nullptr : std::memchr(bytes.data() + record.end, ':', rest);
        if (colon == nullptr) {
            text.fail(HexError::NoEndRecord, record.end);
            return fail();
        }
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(colon) - bytes.data());
    }
}

}  // namespace tarnel

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

std::uint64_t lineEnds(std::span<const std::uint8_t> text, std::size_t from, std::size_t to) {
    return static_cast<std::uint64_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(from),
                                                 text.begin() + static_cast<std::ptrdiff_t>(to),
                                                 '\n'));
}

// The text a record at text[p] needs, from its ':': known once its count is; three
// characters when the count is not yet there or is not hexadecimal (the careful reader then
// names the fault).
std::size_t recordTextLength(std::span<const std::uint8_t> text, std::size_t p) {
    if (text.size() - p < 3)
        return 3;
    const int high = kDigitValue[text[p + 1]];
    const int low = kDigitValue[text[p + 2]];
    if ((high | low) < 0)
        return 3;
    return kDataPos + 2 * (static_cast<std::size_t>(high << 4 | low) + 1);
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

bool convertHexToBinary(std::span<const std::uint8_t> text, std::uint8_t fill,
                        std::span<std::uint8_t> destination, std::uint32_t& length, Operator& op,
                        HexFailure* failure) {
    HexStreamConverter converter(fill, destination, op);
    converter.feed(text);
    return converter.finish(length, failure);
}

HexStreamConverter::HexStreamConverter(std::uint8_t fill, std::span<std::uint8_t> destination,
                                       Operator& op)
    : fill_(fill), destination_(destination), op_(op) {
    std::fill(destination_.begin(), destination_.end(), fill_);
    partial_.reserve(kDataPos + 2 * 256);
}

bool HexStreamConverter::refuse(HexError error, std::uint64_t position, std::uint64_t lines) {
    // Leave no part of a rejected image behind.
    std::fill(destination_.begin(), destination_.end(), fill_);
    failure_ = {error, static_cast<std::size_t>(position), static_cast<std::size_t>(lines + 1)};
    state_ = State::Failed;
    return false;
}

HexStreamConverter::Step HexStreamConverter::takeRecord(std::span<const std::uint8_t> buffer,
                                                        std::size_t p, std::uint64_t start,
                                                        std::uint64_t lines, bool last,
                                                        std::size_t& next) {
    if (!last && buffer.size() - p < recordTextLength(buffer, p))
        return Step::NeedsMore;
    const auto refuseAt = [&](HexError error, std::size_t at) {
        refuse(error, start + at, lines + lineEnds(buffer, 0, std::min(at, buffer.size())));
        return Step::Stopped;
    };
    Record record;
    unsigned sum = 0;
    if (decodeRecord(buffer, p, fields_, record, sum)) {
        if ((sum & 0xFF) != 0)
            return refuseAt(HexError::ChecksumMismatch, p);
    } else {
        // A bad digit or a record cut short: find and name the first fault.
        HexText text(buffer);
        if (!readRecord(text, p, record))
            return refuseAt(text.error(), text.position());
        const std::size_t count = std::size_t{record.count} + 1;
        for (std::size_t i = 0; i < count; ++i)
            text.byte(p + kDataPos + 2 * i, fields_[4 + i]);
    }
    const std::uint8_t* const data = fields_.data() + 4;
    switch (record.type) {
        case 0:
            if (record.count != 0) {
                // The address keeps counting past a 64 KiB boundary within one record.
                const std::uint64_t first = base_ + record.offset;
                const std::uint64_t lastByte = first + record.count - 1;
                if (lastByte >= destination_.size())
                    return refuseAt(HexError::AddressBeyondImage, p);
                std::memcpy(destination_.data() + first, data, record.count);
                highest_ = std::max(highest_, lastByte);
            }
            break;
        case 1:
            state_ = State::Done;
            return Step::Stopped;
        case 2:
        case 4: {
            if (record.count < 2)
                return refuseAt(HexError::ShortAddressRecord, p);
            const std::uint64_t word = static_cast<std::uint64_t>(data[0] << 8 | data[1]);
            base_ = record.type == 4 ? word << 16 : word << 4;
            break;
        }
        default:
            break;  // start addresses and unknown types change nothing
    }
    next = record.end;
    lastEnd_ = start + record.end;
    return Step::Read;
}

void HexStreamConverter::pieceDone(std::span<const std::uint8_t> piece) {
    // Line ends are counted only here, for a fault named later: those before the end of the
    // last record (a missing end record is reported there) and those of the whole piece.
    if (lastEnd_ >= consumed_) {
        const auto at = static_cast<std::size_t>(lastEnd_ - consumed_);
        lastEndLines_ = lines_ + lineEnds(piece, 0, at);
        lines_ = lastEndLines_ + lineEnds(piece, at, piece.size());
    } else {
        lines_ += lineEnds(piece, 0, piece.size());
    }
    consumed_ += piece.size();
}

bool HexStreamConverter::feed(std::span<const std::uint8_t> piece) {
    if (state_ == State::Done || state_ == State::Failed)
        return false;
    if (piece.empty())
        return true;
    std::size_t i = 0;
    if (state_ == State::Start) {
        if (piece[0] != ':') {
            debugMessage(op_, "Not Intel HEX Format !");
            return refuse(HexError::NotHexFormat, 0, 0);
        }
        state_ = State::Between;
    }
    if (state_ == State::InRecord) {
        // Complete the record the last piece cut, from the front of this one.
        std::size_t need = 0;
        while (partial_.size() < (need = recordTextLength(partial_, 0)) && i < piece.size()) {
            const std::size_t take = std::min(need - partial_.size(), piece.size() - i);
            partial_.insert(partial_.end(), piece.begin() + static_cast<std::ptrdiff_t>(i),
                            piece.begin() + static_cast<std::ptrdiff_t>(i + take));
            i += take;
        }
        if (partial_.size() < need) {
            pieceDone(piece);
            return true;
        }
        std::size_t next = 0;
        const Step step = takeRecord(partial_, 0, partialStart_, partialLines_, false, next);
        partial_.clear();
        if (step == Step::Stopped)
            return false;
        state_ = State::Between;
    }
    while (true) {
        const void* colon =
            i < piece.size() ? std::memchr(piece.data() + i, ':', piece.size() - i) : nullptr;
        if (colon == nullptr) {
            pieceDone(piece);
            return true;
        }
        const auto p =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(colon) - piece.data());
        std::size_t next = 0;
        switch (takeRecord(piece, p, consumed_, lines_, false, next)) {
            case Step::Read:
                i = next;
                break;
            case Step::Stopped:
                return false;
            case Step::NeedsMore:
                partial_.assign(piece.begin() + static_cast<std::ptrdiff_t>(p), piece.end());
                partialStart_ = consumed_ + p;
                partialLines_ = lines_ + lineEnds(piece, 0, p);
                state_ = State::InRecord;
                pieceDone(piece);
                return true;
        }
    }
}

bool HexStreamConverter::finish(std::uint32_t& length, HexFailure* failure) {
    std::size_t next = 0;
    if (state_ == State::Start) {
        debugMessage(op_, "Not Intel HEX Format !");
        refuse(HexError::NotHexFormat, 0, 0);
    } else if (state_ == State::InRecord) {
        // The text ended inside this record: the careful reader names where.
        if (takeRecord(partial_, 0, partialStart_, partialLines_, true, next) == Step::Read)
            state_ = State::Between;
        partial_.clear();
    }
    if (state_ == State::Between) {
        refuse(HexError::NoEndRecord, lastEnd_, lastEndLines_);
    }
    if (state_ == State::Done) {
        length = static_cast<std::uint32_t>(highest_ + 1);
        return true;
    }
    if (failure != nullptr)
        *failure = failure_;
    return false;
}

}  // namespace tarnel

// Intel HEX conversion: record placement, address records, separators, and refusal of every
// malformed text without a write outside the 256 KiB destination.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/image_buffer.h"
#include "image/hex_converter.h"
#include "testkit/recording_operator.h"

using namespace tarnel;

namespace {

// One record with a correct checksum.
std::string record(unsigned offset, unsigned type, const std::vector<unsigned>& data) {
    std::vector<unsigned> bytes = {static_cast<unsigned>(data.size()), offset >> 8 & 0xFF,
                                   offset & 0xFF, type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string text = ":";
    char pair[3];
    for (unsigned b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
        sum += b;
    }
    std::snprintf(pair, sizeof pair, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return text + pair;
}

const std::string kEnd = ":00000001FF";

struct Conversion {
    bool ok = false;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kImageCapacity);
    HexFailure failure;
    RecordingOperator op;
};

// Converts with fill 0xAA; length starts at 777 to show that a failure leaves it alone.
std::unique_ptr<Conversion> convert(const std::string& text) {
    auto c = std::make_unique<Conversion>();
    c->length = 777;
    c->ok = convertHexToBinary(text, 0xAA, c->image, c->length, c->op, &c->failure);
    return c;
}

bool onlyFill(const std::vector<std::uint8_t>& image) {
    return std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xAA; });
}

}  // namespace

TEST(HexConverter, EndOfFileOnlyGivesOneFillByte) {
    const auto c = convert(kEnd);
    ASSERT_TRUE(c->ok);
    EXPECT_EQ(c->length, 1u);
    EXPECT_TRUE(onlyFill(c->image));
    EXPECT_TRUE(c->op.boxes().empty());
}

TEST(HexConverter, RecordsArePlacedByAddressNotByOrder) {
    const auto c = convert(record(0x20, 0, {1, 2}) + "\n" + record(0x00, 0, {9}) + "\n" + kEnd);
    ASSERT_TRUE(c->ok);
    EXPECT_EQ(c->length, 0x22u);
    EXPECT_EQ(c->image[0x00], 9);
    EXPECT_EQ(c->image[0x01], 0xAA);
    EXPECT_EQ(c->image[0x20], 1);
    EXPECT_EQ(c->image[0x21], 2);
}

TEST(HexConverter, ExtendedAddressRecords) {
    // Linear 0x0001 puts offset 0x0010 at 0x10010; segment 0x2000 puts offset 5 at 0x20005;
    // a record that runs over a 64 KiB boundary keeps counting.
    const auto c = convert(record(0, 4, {0x00, 0x01}) + record(0x10, 0, {0x11, 0x22}) +
                           record(0, 2, {0x20, 0x00}) + record(5, 0, {0x33}) +
                           record(0, 4, {0x00, 0x00}) + record(0xFFFF, 0, {0x44, 0x55}) +
                           record(0, 4, {0x00, 0x03}) + record(0xFFFF, 0, {0x7E}) + kEnd);
    ASSERT_TRUE(c->ok) << describeHexFailure(c->failure);
    EXPECT_EQ(c->image[0x10010], 0x11);
    EXPECT_EQ(c->image[0x10011], 0x22);
    EXPECT_EQ(c->image[0x20005], 0x33);
    EXPECT_EQ(c->image[0x0FFFF], 0x44);
    EXPECT_EQ(c->image[0x10000], 0x55);
    EXPECT_EQ(c->image[kImageCapacity - 1], 0x7E) << "the last byte of the destination";
    EXPECT_EQ(c->length, kImageCapacity);
}

TEST(HexConverter, SeparatorsCaseAndOtherRecordTypesDoNotChangeTheImage) {
    const std::string a = record(0, 0, {0xDE, 0xAD});
    const std::string b = record(2, 0, {0xBE, 0xEF});
    const std::string start = record(0, 5, {0, 0, 1, 0});  // start linear address
    const auto crlf = convert(a + "\r\n" + start + "\r\n" + b + "\r\n" + kEnd + "\r\n");
    const auto lf = convert(a + "\n" + b + "\n" + kEnd + "\n");
    const auto none = convert(a + b + record(0, 3, {0, 0, 0, 0}) + kEnd);
    std::string lower = a + b + kEnd;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const auto lowerCase = convert(lower);
    for (const auto* c : {crlf.get(), lf.get(), none.get(), lowerCase.get()}) {
        ASSERT_TRUE(c->ok) << describeHexFailure(c->failure);
        EXPECT_EQ(c->length, 4u);
        EXPECT_EQ(std::vector<std::uint8_t>(c->image.begin(), c->image.begin() + 5),
                  (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF, 0xAA}));
    }
}

TEST(HexConverter, MalformedTextIsRefusedAndLeavesOnlyFill) {
    const std::string good = record(0, 0, {1, 2, 3});
    std::string badChecksum = good;
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    const struct {
        std::string text;
        HexError error;
    } cases[] = {
        {"", HexError::NotHexFormat},
        {"\n" + good + kEnd, HexError::NotHexFormat},
        {good.substr(0, 9), HexError::TruncatedRecord},
        {good + "\n", HexError::NoEndRecord},
        {":0G000001FF", HexError::BadDigit},
        {":01000000ZZ00", HexError::BadDigit},
        {badChecksum + kEnd, HexError::ChecksumMismatch},
        // Past 256 KiB: a whole record, the second byte of a record, a base that would wrap
        // a 32-bit address round to zero.
        {record(0, 4, {0x00, 0x04}) + good + kEnd, HexError::AddressBeyondImage},
        {record(0, 4, {0x00, 0x03}) + record(0xFFFF, 0, {1, 2}) + kEnd,
         HexError::AddressBeyondImage},
        {record(0, 4, {0xFF, 0xFF}) + record(0xFFFF, 0, {1, 2}) + kEnd,
         HexError::AddressBeyondImage},
        {record(0, 4, {}) + kEnd, HexError::ShortAddressRecord},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        const auto c = convert(good + kEnd);  // a good conversion first, then the bad one
        ASSERT_TRUE(c->ok);
        c->ok = convertHexToBinary(test.text, 0xAA, c->image, c->length, c->op, &c->failure);
        EXPECT_FALSE(c->ok);
        EXPECT_EQ(c->failure.error, test.error) << describeHexFailure(c->failure);
        EXPECT_EQ(c->length, 3u) << "length of the earlier conversion stays";
        EXPECT_TRUE(onlyFill(c->image));
        const auto boxes = c->op.boxes();
        if (test.error == HexError::NotHexFormat) {
            EXPECT_EQ(boxes, std::vector<std::string>{"<Debug>: Not Intel HEX Format !"});
        } else {
            EXPECT_TRUE(boxes.empty());
        }
    }
}

// A file read in pieces converts exactly as the whole text does, wherever the pieces break,
// and a fault is named at its place in the whole text.
TEST(HexConverter, TextInPiecesConvertsAsTheWholeText) {
    const std::string good = record(0x10, 0, {1, 2, 3});
    std::string badDigit = good;
    badDigit[12] = 'Z';
    const struct {
        std::string text;
        std::size_t line;  // of the fault, 0 when there is none
    } cases[] = {
        {good + "\r\n" + record(0, 4, {0, 1}) + "\r\n" + good + "\r\n" + kEnd + "\r\nrest", 0},
        {good + "\n\n" + record(0x100, 0, std::vector<unsigned>(255, 7)) + "\n" + kEnd, 0},
        {good + "\n" + good + "\n" + good.substr(0, 20), 3},
        {good + "\n" + good + "\n\n  \n", 2},
        {good + "\n" + badDigit + "\n" + kEnd, 2},
        {good + "\n:0", 2},
        {"\n:", 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        const auto whole = convert(test.text);
        EXPECT_EQ(whole->ok, test.line == 0) << describeHexFailure(whole->failure);
        EXPECT_EQ(whole->failure.line, test.line);
        for (const std::size_t size : {1, 2, 5, 64}) {
            SCOPED_TRACE(size);
            Conversion c;
            c.length = 777;
            HexStreamConverter converter(0xAA, c.image, c.op);
            for (std::size_t at = 0; at < test.text.size(); at += size) {
                const std::string piece = test.text.substr(at, size);
                if (!converter.feed(std::span(
                        reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size())))
                    break;
            }
            c.ok = converter.finish(c.length, &c.failure);
            EXPECT_EQ(c.ok, whole->ok);
            EXPECT_EQ(c.length, whole->length);
            EXPECT_EQ(c.failure.error, whole->failure.error);
            EXPECT_EQ(c.failure.position, whole->failure.position);
            EXPECT_EQ(c.failure.line, whole->failure.line);
            EXPECT_TRUE(c.image == whole->image);
            EXPECT_EQ(c.op.boxes(), whole->op.boxes());
        }
    }
}

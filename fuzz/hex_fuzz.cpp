// Any text fed to the HEX converter gives the same image as a plain reference decoder, and a
// failed conversion leaves nothing behind: the length unchanged, the buffer all fill. The
// same text fed in pieces gives the same result and the same named fault.

#include <cstdlib>
#include <optional>
#include <vector>

#include "core/image_buffer.h"
#include "image/hex_converter.h"
#include "testkit/recording_operator.h"

namespace {

struct Decoded {
    std::vector<std::uint8_t> image;
    std::uint32_t length = 0;
};

std::optional<int> nibble(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

// Reads the record at text[p] (a ':') into its raw bytes: count, offset (2), type, data,
// checksum. The type byte keeps only its low digit, as the converter reads it.
std::optional<std::vector<std::uint8_t>> rawRecord(const std::vector<std::uint8_t>& text,
                                                   std::size_t p) {
    std::vector<std::uint8_t> raw;
    std::size_t want = 5;
    for (std::size_t i = 0; i < want; ++i) {
        const std::size_t at = p + 1 + 2 * i;
        if (at + 1 >= text.size())
            return std::nullopt;
        const auto hi = nibble(text[at]);
        const auto lo = nibble(text[at + 1]);
        if (!hi || !lo)
            return std::nullopt;
        raw.push_back(static_cast<std::uint8_t>(*hi * 16 + *lo));
        if (i == 0)
            want = 5 + raw[0];
    }
    unsigned sum = 0;
    for (std::uint8_t b : raw)
        sum += b;
    if (sum % 256 != 0)
        return std::nullopt;
    return raw;
}

// A second, independent reading of the format: a record starts at each ':' the previous
// record leaves us at; addresses are base + offset + i; only an end record ends the text.
std::optional<Decoded> reference(const std::vector<std::uint8_t>& text, std::uint8_t fill,
                                 std::size_t capacity) {
    Decoded out;
    out.image.assign(capacity, fill);
    if (text.empty() || text[0] != ':')
        return std::nullopt;
    std::uint64_t base = 0;
    std::uint64_t top = 0;
    std::size_t p = 0;
    for (;;) {
        const auto raw = rawRecord(text, p);
        if (!raw)
            return std::nullopt;
        const std::size_t count = (*raw)[0];
        const std::uint64_t offset = (*raw)[1] * 256u + (*raw)[2];
        const int type = (*raw)[3] & 0x0F;
        if (type == 1) {
            out.length = static_cast<std::uint32_t>(top + 1);
            return out;
        }
        if (type == 0) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t address = base + offset + i;
                if (address >= capacity)
                    return std::nullopt;
                out.image[address] = (*raw)[4 + i];
                top = std::max(top, address);
            }
        } else if (type == 2 || type == 4) {
            if (count < 2)
                return std::nullopt;
            const std::uint64_t word = (*raw)[4] * 256u + (*raw)[5];
            base = type == 4 ? word * 65536 : word * 16;
        }
        p += 1 + 2 * (count + 5);
        while (p < text.size() && text[p] != ':')
            ++p;
        if (p >= text.size())
            return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte is the fill byte; a small destination now and then brings the
    // beyond-the-end checks within reach.
    const std::uint8_t fill = data[0];
    const std::size_t capacity = (fill & 1) ? 0x200 : tarnel::kImageCapacity;
    const std::vector<std::uint8_t> text(data + 1, data + size);

    tarnel::RecordingOperator op;
    std::vector<std::uint8_t> image(capacity, static_cast<std::uint8_t>(~fill));
    constexpr std::uint32_t kUntouched = 0xDEADBEEF;
    std::uint32_t length = kUntouched;
    tarnel::HexFailure failure;
    const bool ok = tarnel::convertHexToBinary(text, fill, image, length, op, &failure);
    const auto expected = reference(text, fill, capacity);

    if (ok != expected.has_value())
        std::abort();

    // Pieces of 1 to 64 bytes, by the fill byte.
    const std::size_t pieceSize = 1 + (fill >> 2);
    std::vector<std::uint8_t> pieceImage(capacity);
    std::uint32_t pieceLength = kUntouched;
    tarnel::HexFailure pieceFailure;
    tarnel::RecordingOperator pieceOp;
    tarnel::HexStreamConverter converter(fill, pieceImage, pieceOp);
    for (std::size_t at = 0; at < text.size(); at += pieceSize)
        if (!converter.feed(std::span(text).subspan(at, std::min(pieceSize, text.size() - at))))
            break;
    if (converter.finish(pieceLength, &pieceFailure) != ok || pieceLength != length ||
        pieceImage != image || pieceFailure.error != failure.error ||
        pieceFailure.position != failure.position || pieceFailure.line != failure.line ||
        pieceOp.boxes() != op.boxes())
        std::abort();
    if (!ok) {
        if (length != kUntouched || failure.error == tarnel::HexError::None)
            std::abort();
        for (std::uint8_t b : image)
            if (b != fill)
                std::abort();
        return 0;
    }
    if (length == 0 || length > capacity || length != expected->length)
        std::abort();
    for (std::size_t i = length; i < capacity; ++i)
        if (image[i] != fill)
            std::abort();
    if (image != expected->image)
        std::abort();
    return 0;
}

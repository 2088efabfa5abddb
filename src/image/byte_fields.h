#pragma once
// Little-endian fields, flag bytes and serial numbers as the settings and project files hold
// them. Readers take the field's offset and never look past the end of the bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/programming_job.h"

namespace tarnel::fields {

inline void putU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Booleans are stored as 0xFF (set) or 0x00 (clear) and read back with any non-zero as set.
inline std::uint8_t flagByte(bool value) {
    return value ? 0xFF : 0x00;
}

// A 16-digit number in packed decimal, most significant digit pair first.
inline void putSerial(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t high,
                      std::uint32_t low) {
    const Bcd8 bcd = serialAsBcd(high, low);
    for (std::size_t i = 0; i < 8; ++i)
        out[at + i] = bcd[7 - i];
}

inline bool has(std::span<const std::uint8_t> in, std::size_t at, std::size_t size) {
    return in.size() >= at + size;
}

inline std::uint16_t getU16(std::span<const std::uint8_t> in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] | in[at + 1] << 8);
}

inline std::uint32_t getU32(std::span<const std::uint8_t> in, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t{in[at + i]} << (8 * i);
    return value;
}

inline void getSerial(std::span<const std::uint8_t> in, std::size_t at, std::uint32_t& high,
                      std::uint32_t& low) {
    Bcd8 bcd{};
    for (std::size_t i = 0; i < 8; ++i)
        bcd[7 - i] = in[at + i];
    serialFromBcd(bcd, high, low);
}

}  // namespace tarnel::fields

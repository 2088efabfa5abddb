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

// Where a file keeps the job's advanced settings (the usage limit, S/N programming, the chip
// counter and the UART protocol). Each file has its own places; a file without a place for
// the usage-limit switch has kNoField there.
inline constexpr std::size_t kNoField = static_cast<std::size_t>(-1);
struct AdvancedFieldPlaces {
    std::size_t usageTimes;  // high byte, then low byte
    std::size_t usageLimitEnabled;
    std::size_t serialEnabled;
    std::size_t serialAddress;
    std::size_t increment;
    std::size_t serialNumber;
    std::size_t chipCounterEnabled;
    std::size_t chipCounterDown;
    std::size_t chipCounter;
    std::size_t uartProtocol;  // 0x00 for the fast protocol, 0xFF for the normal one
};

inline void putAdvancedFields(std::vector<std::uint8_t>& out, const AdvancedFieldPlaces& at,
                              const ProgrammingJob& job) {
    out[at.usageTimes] = job.usageTimesHigh;
    out[at.usageTimes + 1] = job.usageTimesLow;
    if (at.usageLimitEnabled != kNoField)
        out[at.usageLimitEnabled] = flagByte(job.usageLimitEnabled);
    out[at.serialEnabled] = flagByte(job.serialEnabled);
    putU32(out, at.serialAddress, job.serialAddress);
    putSerial(out, at.increment, job.incrementHigh, job.incrementLow);
    putSerial(out, at.serialNumber, job.serialHigh, job.serialLow);
    out[at.chipCounterEnabled] = flagByte(job.chipCounterEnabled);
    out[at.chipCounterDown] = flagByte(job.chipCounterDown);
    putU32(out, at.chipCounter, job.chipCounter);
    out[at.uartProtocol] = job.uartFastProtocol ? 0x00 : 0xFF;
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

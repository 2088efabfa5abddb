#include "core/serial_ledger.h"

#include <cstdio>

namespace tarnel {

namespace {

constexpr std::uint64_t kHalf = 100000000;                // each half holds 8 digits
constexpr std::uint64_t kModulus = 10000000000000000ULL;  // 10^16

std::uint64_t combined(SerialValue v) {
    return (std::uint64_t{v.high} % kHalf) * kHalf + v.low % kHalf;
}

}  // namespace

SerialValue addSerial(SerialValue value, SerialValue increment) {
    const std::uint64_t sum = (combined(value) + combined(increment)) % kModulus;
    return {static_cast<std::uint32_t>(sum / kHalf), static_cast<std::uint32_t>(sum % kHalf)};
}

std::string serialDigits(SerialValue value) {
    char text[24];
    std::snprintf(text, sizeof text, "%08u%08u", static_cast<unsigned>(value.high % kHalf),
                  static_cast<unsigned>(value.low % kHalf));
    return text;
}

std::string serialText(SerialValue value) {
    char text[24];
    std::snprintf(text, sizeof text, "%08u,%08u", static_cast<unsigned>(value.high % kHalf),
                  static_cast<unsigned>(value.low % kHalf));
    return text;
}

std::optional<SerialValue> parseSerialDigits(std::string_view text) {
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    std::uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return SerialValue{static_cast<std::uint32_t>(n / kHalf),
                       static_cast<std::uint32_t>(n % kHalf)};
}

}  // namespace tarnel

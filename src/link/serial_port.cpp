#include "link/serial_port.h"

#include <algorithm>

namespace tarnel {

ReadTimer::ReadTimer(const Timeouts& timeouts, std::size_t count, std::uint64_t start,
                     std::uint64_t unitsPerMs)
    : unitsPerMs_(unitsPerMs) {
    const std::uint64_t total =
        std::uint64_t{timeouts.readTotalMultiplier} * count + timeouts.readTotalConstant;
    if (timeouts.readInterval == kReadReturnAtOnce) {
        returnAtOnce_ = total == 0;
    } else {
        interval_ = timeouts.readInterval;
    }
    if (total != 0)
        totalDeadline_ = start + total * unitsPerMs;
}

std::uint64_t ReadTimer::deadline(std::size_t received, std::uint64_t lastByte) const {
    std::uint64_t result = totalDeadline_;
    // The interval limit runs from the first byte on: it is exceeded once more than
    // interval_ ms have passed since the last byte.
    if (interval_ != 0 && received > 0) {
        result = std::min(result, lastByte + std::uint64_t{interval_} * unitsPerMs_ + 1);
    }
    return result;
}

std::uint64_t characterTimeNs(const LineSettings& settings) {
    // Counted in half bits, for 1.5 stop bits.
    std::uint64_t halfBits = 2 * (1 + std::uint64_t{settings.byteSize});
    if (settings.parity != Parity::None)
        halfBits += 2;
    switch (settings.stopBits) {
        case StopBits::One:
            halfBits += 2;
            break;
        case StopBits::OnePointFive:
            halfBits += 3;
            break;
        case StopBits::Two:
            halfBits += 4;
            break;
    }
    const std::uint64_t baud = std::max<std::uint32_t>(settings.baudRate, 1);
    return halfBits * 1000000000 / (2 * baud);
}

std::uint64_t writeDeadline(const Timeouts& timeouts, std::size_t count, std::uint64_t start,
                            std::uint64_t unitsPerMs) {
    const std::uint64_t total =
        std::uint64_t{timeouts.writeTotalMultiplier} * count + timeouts.writeTotalConstant;
    return total == 0 ? ReadTimer::kNever : start + total * unitsPerMs;
}

}  // namespace tarnel

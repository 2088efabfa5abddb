#include "link/serial_port.h"

#include <algorithm>

namespace tarnel {

ReadTimer::ReadTimer(const Timeouts& timeouts, std::size_t count, std::uint64_t startMs) {
    const std::uint64_t total =
        std::uint64_t{timeouts.readTotalMultiplier} * count + timeouts.readTotalConstant;
    if (timeouts.readInterval == kReadReturnAtOnce) {
        returnAtOnce_ = total == 0;
    } else {
        interval_ = timeouts.readInterval;
    }
    if (total != 0)
        totalDeadline_ = startMs + total;
}

std::uint64_t ReadTimer::deadline(std::size_t received, std::uint64_t lastByteMs) const {
    std::uint64_t result = totalDeadline_;
    // The interval limit runs from the first byte on: it is exceeded once more than
    // interval_ ms have passed since the last byte.
    if (interval_ != 0 && received > 0) {
        result = std::min(result, lastByteMs + interval_ + 1);
    }
    return result;
}

std::uint64_t writeDeadline(const Timeouts& timeouts, std::size_t count, std::uint64_t startMs) {
    const std::uint64_t total =
        std::uint64_t{timeouts.writeTotalMultiplier} * count + timeouts.writeTotalConstant;
    return total == 0 ? ReadTimer::kNever : startMs + total;
}

}  // namespace tarnel

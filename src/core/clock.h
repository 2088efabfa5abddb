#pragma once
// Every protocol pause, time-out and tick count goes through a Clock, so protocol code
// runs on real time in use and on virtual time in tests.

#include <cstdint>

namespace tarnel {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed start; never goes backwards.
    virtual std::uint64_t nowMs() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// Steady wall-clock time.
class SystemClock : public Clock {
  public:
    std::uint64_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;
};

}  // namespace tarnel

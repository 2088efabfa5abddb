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

    // The same time in microseconds, as finely as the clock keeps it (a clock that counts
    // whole milliseconds gives whole milliseconds).
    virtual std::uint64_t nowUs() { return nowMs() * 1000; }
    // Sleeps until nowUs() reaches deadlineUs (a millisecond clock: until the millisecond
    // the deadline falls in).
    virtual void sleepUntilUs(std::uint64_t deadlineUs);
};

// Steady wall-clock time. Sleeps wait to absolute deadlines with the finest timer slack the
// system grants, so a 1 ms pause costs 1 ms and not the 1.1 ms a relative sleep takes.
class SystemClock : public Clock {
  public:
    std::uint64_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;
    std::uint64_t nowUs() override;
    void sleepUntilUs(std::uint64_t deadlineUs) override;
};

// Asks the kernel to wake the calling thread as close to its deadlines as it can (once per
// thread; nothing where the system has no such setting).
void requestFineTimerSlack();

}  // namespace tarnel

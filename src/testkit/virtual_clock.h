#pragma once
// A Clock whose time moves only when every party is waiting: then it jumps straight to the
// earliest deadline any of them waits for. Protocol tests run a host thread and a simulated
// device thread on it, so an 8000 ms time-out costs no real time and the order of events is
// the same on every run.
//
// A party is a thread that has registered (see Participant). A thread that waits without
// being registered counts as a party for the duration of that wait only, so a single-thread
// test needs no registration. A thread that works between its waits must be registered, or
// time would run on while it works.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "core/clock.h"

namespace tarnel {

class VirtualClock : public Clock {
  public:
    static constexpr std::uint64_t kNoDeadline = std::numeric_limits<std::uint64_t>::max();

    explicit VirtualClock(std::uint64_t startMs = 0) : now_(startMs) {}

    std::uint64_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;

    // Blocks until ready() holds (returns true) or the time reaches deadline (returns false
    // unless ready() holds by then). ready() is evaluated with the clock's lock held: it may
    // take locks of its own but must not call back into the clock. Whoever changes what a
    // ready() reads must call notify() afterwards, without holding those locks.
    bool waitUntil(std::uint64_t deadline, const std::function<bool()>& ready);
    void notify();

    // Registers the calling thread as a party for its lifetime.
    class Participant {
      public:
        explicit Participant(VirtualClock& clock);
        ~Participant();
        Participant(const Participant&) = delete;
        Participant& operator=(const Participant&) = delete;

      private:
        VirtualClock& clock_;
        std::thread::id id_;
    };

    // While it lives, the calling thread does not count as a party: for a registered thread
    // that blocks on something other than the clock, such as joining another party's thread,
    // which may need time to move before it can end.
    class Absence {
      public:
        explicit Absence(VirtualClock& clock);
        ~Absence();
        Absence(const Absence&) = delete;
        Absence& operator=(const Absence&) = delete;

      private:
        VirtualClock& clock_;
        bool wasRegistered_ = false;
    };

  private:
    struct Waiter {
        std::uint64_t deadline;
        const std::function<bool()>* ready;
    };

    // With the lock held: if every party waits and none is ready, jump to the earliest
    // deadline and wake everyone.
    void advanceIfIdle();
    bool isRegistered(std::thread::id id) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t now_;
    std::vector<std::thread::id> parties_;
    std::vector<Waiter*> waiters_;
    int transientParties_ = 0;
};

}  // namespace tarnel

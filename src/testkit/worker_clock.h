#pragma once
// The virtual clock as a window's workers use it. A thread that works between its waits must
// be a party of the clock, or time would run on while it works; worker threads become parties
// at their first use of the clock, until they end. The thread that made the clock (the
// window's) never does: it waits in its event loop, not on the clock.

#include <optional>
#include <thread>

#include "testkit/virtual_clock.h"

namespace tarnel {

class WorkerClock : public Clock {
  public:
    explicit WorkerClock(VirtualClock& clock) : clock_(clock) {}
    std::uint64_t nowMs() override {
        join();
        return clock_.nowMs();
    }
    void sleepMs(std::uint32_t ms) override {
        join();
        clock_.sleepMs(ms);
    }

  private:
    void join() {
        thread_local std::optional<VirtualClock::Participant> party;
        if (!party && std::this_thread::get_id() != windowThread_)
            party.emplace(clock_);
    }

    VirtualClock& clock_;
    std::thread::id windowThread_ = std::this_thread::get_id();
};

}  // namespace tarnel

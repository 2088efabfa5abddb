// The virtual clock moves only when every party waits, to the earliest deadline.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "testkit/virtual_clock.h"

namespace tarnel {
namespace {

TEST(VirtualClock, TimeWaitsForAPartyThatIsWorking) {
    VirtualClock clock;
    VirtualClock::Participant host(clock);
    std::atomic<bool> released{false};
    std::atomic<std::uint64_t> wokeAt{0};
    std::promise<void> registered;
    std::thread device([&] {
        VirtualClock::Participant party(clock);
        registered.set_value();
        clock.waitUntil(VirtualClock::kNoDeadline, [&] { return released.load(); });
        wokeAt = clock.nowMs();
    });
    registered.get_future().wait();
    // The device waits without a deadline: nothing moves while the host works.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(clock.nowMs(), 0u);
    // The host sleeps: now everyone waits, so time jumps to the host's deadline.
    clock.sleepMs(250);
    EXPECT_EQ(clock.nowMs(), 250u);
    released = true;
    clock.notify();
    device.join();
    EXPECT_EQ(wokeAt.load(), 250u);
}

TEST(VirtualClock, EarliestDeadlineWinsAndReadyWaiterIsNotSkipped) {
    VirtualClock clock;
    VirtualClock::Participant host(clock);
    std::atomic<std::uint64_t> sleeperWoke{0};
    std::promise<void> registered;
    std::thread sleeper([&] {
        VirtualClock::Participant party(clock);
        registered.set_value();
        clock.sleepMs(300);
        sleeperWoke = clock.nowMs();
    });
    registered.get_future().wait();
    // The host waits longer than the sleeper: the sleeper wakes at 300, the host at 1000.
    EXPECT_FALSE(clock.waitUntil(1000, [] { return false; }));
    sleeper.join();
    EXPECT_EQ(sleeperWoke.load(), 300u);
    EXPECT_EQ(clock.nowMs(), 1000u);
    // A wait whose condition already holds returns at once, without moving time.
    EXPECT_TRUE(clock.waitUntil(5000, [] { return true; }));
    EXPECT_EQ(clock.nowMs(), 1000u);
}

}  // namespace
}  // namespace tarnel

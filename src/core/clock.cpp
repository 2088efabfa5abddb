#include "core/clock.h"

#include <chrono>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#endif

namespace tarnel {

void Clock::sleepUntilUs(std::uint64_t deadlineUs) {
    const std::uint64_t now = nowMs();
    const std::uint64_t target = deadlineUs / 1000;
    if (target > now)
        sleepMs(static_cast<std::uint32_t>(target - now));
}

void requestFineTimerSlack() {
#ifdef __linux__
    // The default slack of 50 us is added to every wake-up; 1 ns is the finest the kernel
    // takes.
    thread_local bool requested = false;
    if (!requested) {
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        requested = true;
    }
#endif
}

std::uint64_t SystemClock::nowUs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t SystemClock::nowMs() {
    return nowUs() / 1000;
}

void SystemClock::sleepMs(std::uint32_t ms) {
    sleepUntilUs(nowUs() + std::uint64_t{ms} * 1000);
}

void SystemClock::sleepUntilUs(std::uint64_t deadlineUs) {
    requestFineTimerSlack();
#ifdef __linux__
    // steady_clock is CLOCK_MONOTONIC here.
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(deadlineUs / 1000000);
    deadline.tv_nsec = static_cast<long>(deadlineUs % 1000000) * 1000;
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
#else
    using namespace std::chrono;
    std::this_thread::sleep_until(steady_clock::time_point(microseconds(deadlineUs)));
#endif
}

}  // namespace tarnel

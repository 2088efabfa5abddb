#include "testkit/virtual_clock.h"

#include <algorithm>

namespace tarnel {

std::uint64_t VirtualClock::nowMs() {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::sleepMs(std::uint32_t ms) {
    if (ms == 0)
        return;
    std::uint64_t deadline;
    {
        std::lock_guard lock(mutex_);
        deadline = now_ + ms;
    }
    static const std::function<bool()> never = [] { return false; };
    waitUntil(deadline, never);
}

bool VirtualClock::waitUntil(std::uint64_t deadline, const std::function<bool()>& ready) {
    std::unique_lock lock(mutex_);
    const bool transient = !isRegistered(std::this_thread::get_id());
    if (transient)
        ++transientParties_;
    Waiter self{deadline, &ready};
    waiters_.push_back(&self);

    bool result = false;
    for (;;) {
        if (ready()) {
            result = true;
            break;
        }
        if (now_ >= deadline)
            break;
        const std::uint64_t before = now_;
        advanceIfIdle();
        if (now_ != before)
            continue;
        changed_.wait(lock);
    }

    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &self));
    if (transient)
        --transientParties_;
    return result;
}

void VirtualClock::notify() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

void VirtualClock::advanceIfIdle() {
    const std::size_t parties = parties_.size() + static_cast<std::size_t>(transientParties_);
    if (waiters_.size() < parties)
        return;
    std::uint64_t next = kNoDeadline;
    for (const Waiter* waiter : waiters_) {
        // A waiter that is due or ready is about to run: time must not move past it.
        if (waiter->deadline <= now_)
            return;
        if ((*waiter->ready)())
            return;
        next = std::min(next, waiter->deadline);
    }
    if (next == kNoDeadline)
        return;  // everyone waits without end: nothing can happen
    now_ = next;
    changed_.notify_all();
}

bool VirtualClock::isRegistered(std::thread::id id) const {
    return std::find(parties_.begin(), parties_.end(), id) != parties_.end();
}

VirtualClock::Participant::Participant(VirtualClock& clock)
    : clock_(clock), id_(std::this_thread::get_id()) {
    std::lock_guard lock(clock_.mutex_);
    clock_.parties_.push_back(id_);
}

VirtualClock::Participant::~Participant() {
    std::lock_guard lock(clock_.mutex_);
    auto& parties = clock_.parties_;
    if (const auto self = std::find(parties.begin(), parties.end(), id_); self != parties.end())
        parties.erase(self);
    // The parties left may all be waiting now.
    clock_.advanceIfIdle();
    clock_.changed_.notify_all();
}

VirtualClock::Absence::Absence(VirtualClock& clock) : clock_(clock) {
    std::lock_guard lock(clock_.mutex_);
    auto& parties = clock_.parties_;
    const auto self = std::find(parties.begin(), parties.end(), std::this_thread::get_id());
    if (self == parties.end())
        return;
    wasRegistered_ = true;
    parties.erase(self);
    clock_.advanceIfIdle();
}

VirtualClock::Absence::~Absence() {
    if (!wasRegistered_)
        return;
    std::lock_guard lock(clock_.mutex_);
    clock_.parties_.push_back(std::this_thread::get_id());
}

}  // namespace tarnel

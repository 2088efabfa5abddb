#include "app/command_worker.h"

namespace tarnel {

bool CommandWorker::claim() {
    bool expected = false;
    return busy_.compare_exchange_strong(expected, true);
}

bool CommandWorker::start(std::function<void()> body) {
    if (!claim())
        return false;
    std::lock_guard lock(threadMutex_);
    // The previous worker has released `busy`, so it has finished its body; join it.
    if (thread_.joinable())
        thread_.join();
    thread_ = std::thread([this, body = std::move(body)] {
        BusyRelease release(busy_);
        body();
    });
    return true;
}

bool CommandWorker::run(const std::function<void()>& body) {
    if (!claim())
        return false;
    BusyRelease release(busy_);
    body();
    return true;
}

void CommandWorker::wait() {
    std::lock_guard lock(threadMutex_);
    if (thread_.joinable())
        thread_.join();
}

}  // namespace tarnel

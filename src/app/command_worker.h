#pragma once
// Starts command workers under the job's `busy` guard. The guard is claimed atomically on
// the calling thread before the worker starts, so a second click can never start a second
// worker, and it is released on every way out of the worker. Destruction waits for it.

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace tarnel {

class CommandWorker {
  public:
    explicit CommandWorker(std::atomic<bool>& busy) : busy_(busy) {}
    ~CommandWorker() { wait(); }
    CommandWorker(const CommandWorker&) = delete;
    CommandWorker& operator=(const CommandWorker&) = delete;

    // Runs `body` on a worker thread. Returns false, and runs nothing, while a command runs.
    bool start(std::function<void()> body);
    // Runs `body` on the calling thread under the same guard (the command line's way).
    bool run(const std::function<void()>& body);
    // Waits until the current worker, if any, has ended.
    void wait();

  private:
    bool claim();

    std::atomic<bool>& busy_;
    std::mutex threadMutex_;
    std::thread thread_;
};

// Clears a busy flag when it goes out of scope.
class BusyRelease {
  public:
    explicit BusyRelease(std::atomic<bool>& busy) : busy_(busy) {}
    ~BusyRelease() { busy_.store(false); }
    BusyRelease(const BusyRelease&) = delete;
    BusyRelease& operator=(const BusyRelease&) = delete;

  private:
    std::atomic<bool>& busy_;
};

}  // namespace tarnel

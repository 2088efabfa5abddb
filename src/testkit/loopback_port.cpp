#include "testkit/loopback_port.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace tarnel {

struct LoopbackLine::State {
    explicit State(VirtualClock& c) : clock(c) {}

    VirtualClock& clock;
    mutable std::mutex mutex;
    std::deque<std::uint8_t> toDevice;
    std::deque<std::uint8_t> toHost;
    std::vector<std::uint8_t> hostLog;
    std::vector<std::uint8_t> deviceLog;
    bool cut = false;
    bool hostOpen = false;
    bool deviceTaken = false;
    int hostOpens = 0;
    bool refuseConfigure = false;
    bool refuseTimeouts = false;
    bool refuseDtr = false;
    LineSettings hostSettings;
    Timeouts hostTimeouts;
    bool hostDtr = false;
    std::vector<std::uint8_t> afterOpen;
};

namespace {

class LoopbackPort : public SerialPort {
  public:
    LoopbackPort(std::shared_ptr<LoopbackLine::State> state, bool hostSide)
        : state_(std::move(state)), host_(hostSide) {}

    ~LoopbackPort() override {
        if (!host_)
            return;
        std::lock_guard lock(state_->mutex);
        state_->hostOpen = false;
    }

    bool configure(const LineSettings& settings) override {
        if (!host_)
            return true;
        std::lock_guard lock(state_->mutex);
        if (state_->refuseConfigure)
            return false;
        state_->hostSettings = settings;
        state_->hostDtr = false;  // DTR is low after configuration, as on a real port
        return true;
    }

    bool setTimeouts(const Timeouts& timeouts) override {
        if (host_) {
            std::lock_guard lock(state_->mutex);
            if (state_->refuseTimeouts)
                return false;
            state_->hostTimeouts = timeouts;
        }
        timeouts_ = timeouts;
        return true;
    }

    Transfer readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) override {
        state_->clock.sleepUntilUs(state_->clock.nowUs() + waitUs);
        const Timeouts kept = timeouts_;
        timeouts_ = Timeouts{kReadReturnAtOnce, 0, 0, 0, 0};
        const Transfer transfer = read(buffer, count);
        timeouts_ = kept;
        return transfer;
    }

    Transfer read(std::uint8_t* buffer, std::size_t count) override {
        VirtualClock& clock = state_->clock;
        const std::uint64_t start = clock.nowMs();
        const ReadTimer timer(timeouts_, count, start);
        std::uint64_t lastByte = start;
        std::size_t received = 0;
        const std::function<bool()> arrived = [this] {
            std::lock_guard lock(state_->mutex);
            return state_->cut || !inbound().empty();
        };
        while (received < count) {
            std::size_t taken = 0;
            {
                std::lock_guard lock(state_->mutex);
                if (state_->cut)
                    return {false, received};
                auto& queue = inbound();
                taken = std::min(queue.size(), count - received);
                std::copy_n(queue.begin(), taken, buffer + received);
                queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(taken));
            }
            if (taken > 0) {
                received += taken;
                lastByte = clock.nowMs();
                continue;
            }
            if (timer.returnAtOnce())
                break;
            if (!clock.waitUntil(timer.deadline(received, lastByte), arrived))
                break;
        }
        return {true, received};
    }

    Transfer write(const std::uint8_t* data, std::size_t count) override {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->cut)
                return {false, 0};
            auto& queue = host_ ? state_->toDevice : state_->toHost;
            auto& log = host_ ? state_->hostLog : state_->deviceLog;
            queue.insert(queue.end(), data, data + count);
            log.insert(log.end(), data, data + count);
        }
        state_->clock.notify();
        return {true, count};
    }

    bool setDtr(bool high) override {
        std::lock_guard lock(state_->mutex);
        if (state_->cut || state_->refuseDtr)
            return false;
        if (host_)
            state_->hostDtr = high;
        return true;
    }

  private:
    std::deque<std::uint8_t>& inbound() { return host_ ? state_->toHost : state_->toDevice; }

    std::shared_ptr<LoopbackLine::State> state_;
    bool host_;
    Timeouts timeouts_;
};

}  // namespace

LoopbackLine::LoopbackLine(VirtualClock& clock) : state_(std::make_shared<State>(clock)) {}

LoopbackLine::~LoopbackLine() {
    cut();
}

std::unique_ptr<SerialPort> LoopbackLine::openHostEnd() {
    std::lock_guard lock(state_->mutex);
    if (state_->hostOpen)
        return nullptr;
    state_->hostOpen = true;
    ++state_->hostOpens;
    state_->toHost.assign(state_->afterOpen.begin(), state_->afterOpen.end());
    state_->afterOpen.clear();
    return std::make_unique<LoopbackPort>(state_, true);
}

std::unique_ptr<SerialPort> LoopbackLine::openDeviceEnd() {
    std::lock_guard lock(state_->mutex);
    if (state_->deviceTaken)
        return nullptr;
    state_->deviceTaken = true;
    return std::make_unique<LoopbackPort>(state_, false);
}

void LoopbackLine::arriveAfterOpen(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    state_->afterOpen = std::move(bytes);
}

std::size_t LoopbackLine::pendingToHost() const {
    std::lock_guard lock(state_->mutex);
    return state_->toHost.size();
}

void LoopbackLine::cut() {
    {
        std::lock_guard lock(state_->mutex);
        state_->cut = true;
    }
    state_->clock.notify();
}

void LoopbackLine::refuseConfigure(bool refuse) {
    std::lock_guard lock(state_->mutex);
    state_->refuseConfigure = refuse;
}

void LoopbackLine::refuseTimeouts(bool refuse) {
    std::lock_guard lock(state_->mutex);
    state_->refuseTimeouts = refuse;
}

void LoopbackLine::refuseDtr(bool refuse) {
    std::lock_guard lock(state_->mutex);
    state_->refuseDtr = refuse;
}

std::vector<std::uint8_t> LoopbackLine::hostWrites() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostLog;
}

std::vector<std::uint8_t> LoopbackLine::deviceWrites() const {
    std::lock_guard lock(state_->mutex);
    return state_->deviceLog;
}

void LoopbackLine::clearLogs() {
    std::lock_guard lock(state_->mutex);
    state_->hostLog.clear();
    state_->deviceLog.clear();
}

LineSettings LoopbackLine::hostSettings() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostSettings;
}

Timeouts LoopbackLine::hostTimeouts() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostTimeouts;
}

bool LoopbackLine::hostDtr() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostDtr;
}

bool LoopbackLine::hostEndOpen() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostOpen;
}

int LoopbackLine::hostOpenCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostOpens;
}

std::unique_ptr<SerialPort> LoopbackPortFactory::open(const std::string& device) {
    attempts_.push_back(device);
    auto found = lines_.find(device);
    if (found == lines_.end())
        return nullptr;
    return found->second->openHostEnd();
}

}  // namespace tarnel

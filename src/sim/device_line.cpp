#include "sim/device_line.h"

#include <algorithm>
#include <cstdio>

namespace tarnel::sim {

namespace {

std::string hexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

}  // namespace

DeviceLine::DeviceLine(SerialPort& port, Clock& clock, std::vector<Fault> faults,
                       std::uint32_t idleWaitMs, std::uint32_t byteWaitMs)
    : port_(port),
      clock_(clock),
      faults_(std::move(faults)),
      idle_{0, 0, idleWaitMs, 0, 0},
      inCommand_{byteWaitMs, 0, byteWaitMs, 0, 0} {}

std::optional<std::uint8_t> DeviceLine::nextCommand() {
    while (!stop_ && !cut_ && !(externalStop_ != nullptr && externalStop_->load())) {
        if (!port_.setTimeouts(idle_))
            return std::nullopt;
        std::uint8_t byte = 0;
        const Transfer transfer = port_.read(&byte, 1);
        if (!transfer.ok)
            return std::nullopt;
        if (transfer.count == 1) {
            ++heard_;
            arrived(1);
            return byte;
        }
    }
    return std::nullopt;
}

void DeviceLine::work(std::uint32_t ms) {
    if (!settings_) {
        workUs_ += std::uint64_t{ms} * 1000;
        clock_.sleepMs(ms);
        return;
    }
    // Counted when the answer it delays is sent (see send), so that whoever reads the count
    // when an answer arrives sees the work that came before that answer and no later work.
    pendingWorkUs_ += std::uint64_t{ms} * 1000;
    // On a paced line the work starts once the bytes it follows have arrived or left, and is
    // only noted: the next answer leaves when it is done (see send), one wake-up for both.
    // The device keeps its own schedule as a hardware timer would: a simulator thread that
    // woke late for the last answer does not push every later tick back.
    std::uint64_t start = std::max({inboundFreeNs_, outboundFreeNs_, doneNs_});
    if (start == 0)
        start = clock_.nowUs() * 1000;
    doneNs_ = start + std::uint64_t{ms} * 1000000;
}

void DeviceLine::arrived(std::size_t count) {
    // Only noted: what the device does with the bytes shows on the line no earlier than the
    // last of them has arrived (see send and work), so one sleep serves both directions.
    if (!settings_ || count == 0)
        return;
    const std::uint64_t now = clock_.nowUs() * 1000;
    inboundFreeNs_ = std::max(now, inboundFreeNs_) + count * characterTimeNs(settings_());
}

bool DeviceLine::send(const std::uint8_t* data, std::size_t count) {
    if (!settings_) {
        const Transfer transfer = port_.write(data, count);
        return transfer.ok && transfer.count == count;
    }
    const std::uint64_t character = characterTimeNs(settings_());
    const std::uint64_t now = clock_.nowUs() * 1000;
    // A reply to what the host sent last starts a fresh count of lateness; a run of answers
    // (ticks, a stream of blocks) carries it on.
    if (inboundFreeNs_ > std::max(outboundFreeNs_, doneNs_))
        carriedLateNs_ = 0;
    std::uint64_t sent = std::max({now, outboundFreeNs_, inboundFreeNs_, doneNs_});
    for (std::size_t offset = 0; offset < count; offset += kPacedBurst) {
        const std::size_t burst = std::min(kPacedBurst, count - offset);
        sent += burst * character;
        clock_.sleepUntilUs(sent / 1000);
        // The bursts keep to their schedule; only the last one's lateness delays what follows,
        // and only what it adds to the lateness a run of ticks already carries.
        if (offset + burst == count) {
            const std::uint64_t woke = clock_.nowUs() * 1000;
            const std::uint64_t late = woke > sent ? woke - sent : 0;
            if (late > carriedLateNs_)
                lateNs_ += late - carriedLateNs_;
            carriedLateNs_ = late;
        }
        if (offset == 0) {
            // The work is done once its answer starts: counted now, not while the last
            // answer may still be on its way to the host.
            workUs_ += pendingWorkUs_;
            pendingWorkUs_ = 0;
        }
        const Transfer transfer = port_.write(data + offset, burst);
        if (!transfer.ok || transfer.count != burst)
            return false;
    }
    outboundFreeNs_ = sent;
    return true;
}

bool DeviceLine::read(std::uint8_t& byte) {
    return readBlock(&byte, 1);
}

bool DeviceLine::readBlock(std::uint8_t* buffer, std::size_t count) {
    if (cut_ || !port_.setTimeouts(inCommand_))
        return false;
    const Transfer transfer = port_.read(buffer, count);
    if (transfer.ok)
        heard_ += transfer.count;
    if (transfer.ok && transfer.count == count) {
        arrived(count);
        return true;
    }
    if (transfer.ok) {
        recordError("expected " + std::to_string(count) + " bytes, got " +
                    std::to_string(transfer.count));
    }
    return false;
}

bool DeviceLine::expect(std::uint8_t expected, std::string_view what) {
    std::uint8_t byte = 0;
    if (!read(byte))
        return false;
    if (byte == expected)
        return true;
    recordError("expected " + hexByte(expected) + " (" + std::string(what) + "), got " +
                hexByte(byte));
    return false;
}

std::optional<std::uint8_t> DeviceLine::poll(std::uint32_t waitMs) {
    if (cut_ || !port_.setTimeouts(Timeouts{waitMs, 0, waitMs, 0, 0}))
        return std::nullopt;
    std::uint8_t byte = 0;
    const std::uint64_t start = clock_.nowUs();
    const Transfer transfer = port_.read(&byte, 1);
    if (transfer.ok && transfer.count == 1) {
        ++heard_;
        arrived(1);
        return byte;
    }
    // Listening for a byte that did not come is the device's own time too.
    if (transfer.ok)
        workUs_ += clock_.nowUs() - start;
    return std::nullopt;
}

bool DeviceLine::reply(std::uint8_t byte) {
    return replyBlock(&byte, 1);
}

bool DeviceLine::replyBlock(const std::uint8_t* data, std::size_t count) {
    if (cut_)
        return false;
    const int step = ++steps_;
    {
        std::lock_guard lock(mutex_);
        answers_.push_back({count > 0 ? data[0] : std::uint8_t{0}, count, heard_});
    }
    heard_ = 0;
    std::vector<std::uint8_t> bytes(data, data + count);
    if (const std::optional<Fault> fault = faultAt(step)) {
        switch (fault->kind) {
            case Fault::Kind::NoAnswer:
                return true;  // the answer is never sent
            case Fault::Kind::WrongByte:
                if (!bytes.empty())
                    bytes[0] = fault->value.value_or(static_cast<std::uint8_t>(~bytes[0]));
                break;
            case Fault::Kind::LateReply:
                clock_.sleepMs(fault->delayMs);
                break;
            case Fault::Kind::LineCut:
                cut_ = true;
                if (cutLine_)
                    cutLine_();
                return false;
        }
    }
    return send(bytes.data(), bytes.size());
}

std::optional<Fault> DeviceLine::faultAt(int step) const {
    std::lock_guard lock(mutex_);
    for (const Fault& fault : faults_) {
        if (step < fault.step)
            continue;
        if (fault.count == 0 || step < fault.step + fault.count)
            return fault;
    }
    return std::nullopt;
}

void DeviceLine::setFaults(std::vector<Fault> faults) {
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
}

void DeviceLine::recordError(std::string text) {
    if (reportError_)
        reportError_(text);
    std::lock_guard lock(mutex_);
    errors_.push_back(std::move(text));
}

std::vector<std::string> DeviceLine::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

std::vector<AnswerRecord> DeviceLine::answers() const {
    std::lock_guard lock(mutex_);
    return answers_;
}

}  // namespace tarnel::sim

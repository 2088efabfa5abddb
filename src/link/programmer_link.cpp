#include "link/programmer_link.h"

#include <algorithm>

#include "link/port_table.h"
#include "link/programmer_kind.h"

namespace tarnel {

namespace {

constexpr std::uint8_t kIdentifyCommand = 0xC0;

}  // namespace

bool isProgrammerIdentity(std::uint8_t byte) {
    return rowOfKind(byte) != nullptr;
}

ProgrammerLink::ProgrammerLink(PortFactory& ports, Clock& clock) : ports_(ports), clock_(clock) {}

bool ProgrammerLink::configureLine(std::uint32_t baudRate, std::uint8_t byteSize,
                                   std::uint32_t parityCheck, Parity parity, StopBits stopBits) {
    if (!port_)
        return false;
    const LineSettings settings{baudRate, byteSize, (parityCheck & 1) != 0, parity, stopBits};
    if (!port_->configure(settings)) {
        close();
        return false;
    }
    lineSettings_ = settings;
    return true;
}

bool ProgrammerLink::setTimeouts(std::uint32_t readInterval, std::uint32_t readTotalMultiplier,
                                 std::uint32_t readTotalConstant,
                                 std::uint32_t writeTotalMultiplier,
                                 std::uint32_t writeTotalConstant) {
    return setTimeouts(Timeouts{readInterval, readTotalMultiplier, readTotalConstant,
                                writeTotalMultiplier, writeTotalConstant});
}

bool ProgrammerLink::setTimeouts(const Timeouts& timeouts) {
    if (!port_ || !port_->setTimeouts(timeouts))
        return false;
    timeouts_ = timeouts;
    return true;
}

bool ProgrammerLink::readByte(std::uint8_t& value) {
    if (!port_)
        return false;
    const Transfer transfer = port_->read(&value, 1);
    return transfer.ok && transfer.count == 1;
}

bool ProgrammerLink::readBytes(std::uint8_t* buffer, std::uint32_t count) {
    if (!port_)
        return false;
    const Transfer transfer = port_->read(buffer, count);
    return transfer.ok && transfer.count == count;
}

bool ProgrammerLink::readAfter(std::uint8_t* buffer, std::size_t max, std::uint64_t waitUs,
                               std::size_t& got) {
    got = 0;
    if (!port_)
        return false;
    const Transfer transfer = port_->readAfter(buffer, max, waitUs);
    got = transfer.count;
    return transfer.ok;
}

bool ProgrammerLink::writeByte(std::uint8_t value) {
    if (!port_)
        return false;
    const Transfer transfer = port_->write(&value, 1);
    return transfer.ok && transfer.count == 1;
}

bool ProgrammerLink::writeBytes(const std::uint8_t* buffer, std::uint32_t count) {
    if (!port_)
        return false;
    const Transfer transfer = port_->write(buffer, count);
    return transfer.ok && transfer.count == count;
}

bool ProgrammerLink::open(std::string_view name, std::uint32_t baudRate) {
    return openConfigured(name, baudRate, kStandardTimeouts);
}

bool ProgrammerLink::openWithTimeout(std::string_view name, std::uint32_t baudRate,
                                     std::uint32_t timeout) {
    return openConfigured(name, baudRate, Timeouts{timeout, 1, timeout, 1, timeout});
}

bool ProgrammerLink::openConfigured(std::string_view name, std::uint32_t baudRate,
                                    const Timeouts& timeouts) {
    const std::vector<std::string> table =
        slotOfName(name) != 0 ? ports_.portTable() : std::vector<std::string>{};
    // There is one handle: whatever it held is closed first, so reopening the port that is
    // open (as the callers do after a scan) works and no handle is ever left behind.
    close();
    port_ = ports_.open(deviceForName(name, table));
    if (!port_)
        return false;
    if (!configureLine(baudRate, 8, 0, Parity::None, StopBits::One))
        return false;
    if (!setTimeouts(timeouts)) {
        close();
        return false;
    }
    return true;
}

void ProgrammerLink::close() {
    port_.reset();
}

bool ProgrammerLink::probe(const std::string& device) {
    port_ = ports_.open(device);
    if (!port_)
        return false;
    if (!configureLine(kProgrammerBaudRate, 8, 0, Parity::None, StopBits::Two))
        return false;
    if (!setTimeouts(kProbeTimeouts)) {
        close();
        return false;
    }

    // Drain what the device sent before it was asked; one that never falls silent is not
    // a programmer we can talk to.
    std::uint8_t identity = 0;
    if (!drainUntilQuiet(kProbeTimeouts) || !writeByte(kIdentifyCommand) || !readByte(identity) ||
        !isProgrammerIdentity(identity)) {
        close();
        return false;
    }
    return true;
}

std::optional<std::string> ProgrammerLink::findProgrammerPort() {
    close();
    const std::vector<std::string> table = ports_.portTable();
    for (int slot = 1; slot <= kPortSlots; ++slot) {
        if (static_cast<std::size_t>(slot) > table.size())
            break;  // no port past the table
        if (table[slot - 1].empty() || !probe(table[slot - 1]))
            continue;
        if (!setTimeouts(kStandardTimeouts)) {
            close();
            return std::nullopt;
        }
        return rememberedNameForSlot(slot, table);
    }
    close();
    return std::nullopt;
}

bool ProgrammerLink::listAvailablePorts() {
    availablePorts_.clear();
    close();
    const std::vector<std::string> table = ports_.portTable();
    for (std::size_t i = 0; i < table.size() && i < kPortSlots; ++i) {
        if (table[i].empty())
            continue;
        if (ports_.open(table[i]) != nullptr)
            availablePorts_.push_back(rememberedNameForSlot(static_cast<int>(i) + 1, table));
    }
    return true;
}

bool ProgrammerLink::drainUntilQuiet(const Timeouts& quiet) {
    if (!port_)
        return false;
    const Timeouts before = timeouts_;
    if (!setTimeouts(quiet))
        return false;
    bool silent = false;
    bool failed = false;
    for (int drained = 0; drained <= kDrainLimit && !silent && !failed; ++drained) {
        std::uint8_t stale = 0;
        const Transfer transfer = port_->read(&stale, 1);
        failed = !transfer.ok;
        silent = transfer.count == 0;
    }
    return setTimeouts(before) && silent && !failed;
}

bool ProgrammerLink::clearDtr() {
    return port_ && port_->setDtr(false);
}

bool ProgrammerLink::setDtr() {
    return port_ && port_->setDtr(true);
}

std::string ProgrammerLink::portText(std::string_view name) {
    const std::vector<std::string> table =
        slotOfName(name) != 0 ? ports_.portTable() : std::vector<std::string>{};
    const std::string device = deviceForName(name, table);
    return portDisplayName(device.empty() ? name : device);
}

bool TickRun::next(ProgrammerLink& link, Clock& clock, std::uint8_t& value) {
    if (taken_ < have_) {
        value = buffer_[taken_++];
        return true;
    }
    have_ = taken_ = 0;
    if (left_ <= 0)
        return false;
    std::size_t got = 0;
    if (seen_ >= 2 && left_ > kTail) {
        const std::uint64_t spacing = (lastUs_ - firstUs_) / static_cast<std::uint64_t>(seen_ - 1);
        const std::uint64_t wait =
            std::min(spacing * static_cast<std::uint64_t>(left_ - kTail), kBatchUs);
        const std::uint64_t now = clock.nowUs();
        const std::uint64_t until = lastUs_ + wait;
        const std::size_t room = std::min(buffer_.size(), static_cast<std::size_t>(left_));
        if (!link.readAfter(buffer_.data(), room, until > now ? until - now : 0, got))
            return false;
    }
    if (got == 0) {
        if (!link.readByte(buffer_[0]))
            return false;
        got = 1;
    }
    const std::uint64_t now = clock.nowUs();
    if (seen_ == 0)
        firstUs_ = now;
    lastUs_ = now;
    seen_ += static_cast<int>(got);
    left_ -= static_cast<int>(got);
    have_ = got;
    taken_ = 1;
    value = buffer_[0];
    return true;
}

}  // namespace tarnel

#include "sim/sim_programmer.h"

#include <algorithm>

#include "link/programmer_kind.h"
#include "link/programmer_session.h"
#include "sim/synthetic_firmware.h"

namespace tarnel::sim {

// ---- Dispatch -------------------------------------------------------------------------

void SimDevice::onCommand(std::uint8_t command, Handler handler) {
    handlers_[command] = std::move(handler);
}

void SimDevice::run() {
    while (const auto command = line_.nextCommand())
        dispatch(*command);
}

bool SimDevice::dispatch(std::uint8_t command) {
    const auto handler = handlers_.find(command);
    if (handler != handlers_.end()) {
        handler->second();
        return true;
    }
    std::lock_guard lock(mutex_);
    unknown_.push_back(command);
    return false;
}

std::vector<std::uint8_t> SimDevice::unknownCommands() const {
    std::lock_guard lock(mutex_);
    return unknown_;
}

// ---- Single programmer ----------------------------------------------------------------

SimProgrammer::SimProgrammer(DeviceLine& line, std::uint8_t kind, std::uint16_t firmwareVersion,
                             SimChip chip)
    : SimDevice(line), kind_(kind), version_(firmwareVersion) {
    state_.chip = std::move(chip);
    onCommand(command::kIdentify, [this] { identify(); });
    onCommand(command::kFirmwareVersion, [this] { version(); });
    onCommand(command::kLoadFirmware, [this] { loadFirmware(); });
    registerStorageCommands(*this);
    registerReadCommands(*this);
}

ProgrammerState SimProgrammer::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::uint8_t SimProgrammer::kind() const {
    std::lock_guard lock(mutex_);
    return kind_;
}

std::uint16_t SimProgrammer::firmwareVersion() const {
    std::lock_guard lock(mutex_);
    return version_;
}

std::vector<std::uint8_t> SimProgrammer::loadedFirmware() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

int SimProgrammer::firmwareLoads() const {
    std::lock_guard lock(mutex_);
    return loads_;
}

// 0xC0 -> identity byte (no acknowledge).
void SimProgrammer::identify() {
    line_.reply(kind());
}

// 0xC1 -> 0xA5, version high, version low.
void SimProgrammer::version() {
    const std::uint16_t version = firmwareVersion();
    if (!line_.reply(kSingleAck))
        return;
    if (!line_.reply(static_cast<std::uint8_t>(version >> 8)))
        return;
    line_.reply(static_cast<std::uint8_t>(version & 0xFF));
}

// 0xC5 -> 0xA5; last address (2 bytes) and byte sum (3 bytes) -> 0xA5; each block -> 0xA5;
// then one 0xA5 per block as written; then the 3-byte sum of what arrived.
void SimProgrammer::loadFirmware() {
    if (!line_.reply(kSingleAck))
        return;
    std::uint8_t header[5] = {};
    for (std::uint8_t& byte : header) {
        if (!line_.read(byte))
            return;
    }
    const std::size_t length = (std::size_t{header[0]} << 8 | header[1]) + 1;
    const std::uint32_t announcedSum =
        std::uint32_t{header[2]} << 16 | std::uint32_t{header[3]} << 8 | header[4];
    if (length > kFirmwareCapacity) {
        line_.recordError("firmware of " + std::to_string(length) + " bytes does not fit");
        line_.reply(0x00);
        return;
    }
    if (!line_.reply(kSingleAck))
        return;

    std::vector<std::uint8_t> image(length);
    std::size_t blocks = 0;
    for (std::size_t offset = 0; offset < length; offset += kBlockSize, ++blocks) {
        const std::size_t count = std::min(kBlockSize, length - offset);
        if (!line_.readBlock(image.data() + offset, count))
            return;
        if (!line_.reply(kSingleAck))
            return;
    }
    for (std::size_t block = 0; block < blocks; ++block) {
        if (!line_.reply(kSingleAck))
            return;
    }
    const std::uint32_t sum = byteSum(image) & 0xFFFFFF;
    const std::uint8_t reply[3] = {static_cast<std::uint8_t>(sum >> 16),
                                   static_cast<std::uint8_t>(sum >> 8),
                                   static_cast<std::uint8_t>(sum)};
    if (!line_.replyBlock(reply, 3))
        return;
    if (sum != announcedSum) {
        line_.recordError("firmware sum differs from the announced one");
        return;
    }
    std::lock_guard lock(mutex_);
    ++loads_;
    if (const auto identity = identityOfFirmware(image);
        identity && identity->kind != kGangProgrammerKind) {
        kind_ = identity->kind;
        version_ = identity->version;
    }
    loaded_ = std::move(image);
}

// ---- Gang programmer ------------------------------------------------------------------

SimGangProgrammer::SimGangProgrammer(DeviceLine& line, std::uint16_t firmwareVersion,
                                     std::array<UnitSetup, kGangUnits> units, std::uint32_t runMs)
    : SimDevice(line), version_(firmwareVersion), runMs_(runMs) {
    for (std::size_t i = 0; i < units_.size(); ++i) {
        units_[i] = std::make_unique<SimProgrammer>(line, units[i].kind, units[i].firmwareVersion,
                                                    std::move(units[i].chip));
        units_[i]->setWholeReport(units[i].wholeReport);
    }
    onCommand(command::kIdentify, [this] { identify(); });
    onCommand(command::kFirmwareVersion, [this] { version(); });
    onCommand(command::kLoadFirmware, [this] { loadFirmware(); });
    registerGangCommands(*this);
    registerReadCommands(*this);
}

GangState SimGangProgrammer::gangState() const {
    std::lock_guard lock(mutex_);
    return gang_;
}

void SimGangProgrammer::relayToUnit(int socket) {
    SimProgrammer& served = unit(socket);
    while (const auto command = line_.nextCommand()) {
        served.dispatch(*command);
        const bool passThrough = *command == command::kIdentify ||
                                 *command == command::kFirmwareVersion ||
                                 *command == command::kLoadFirmware;
        if (!passThrough)
            return;
    }
}

std::uint16_t SimGangProgrammer::firmwareVersion() const {
    std::lock_guard lock(mutex_);
    return version_;
}

std::vector<std::uint8_t> SimGangProgrammer::loadedFirmware() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

int SimGangProgrammer::firmwareLoads() const {
    std::lock_guard lock(mutex_);
    return loads_;
}

// 0xC0 -> 0xAF.
void SimGangProgrammer::identify() {
    line_.reply(kGangProgrammerKind);
}

// 0xC1 -> 0xAF, version high, version low.
void SimGangProgrammer::version() {
    const std::uint16_t version = firmwareVersion();
    if (!line_.reply(kGangAck))
        return;
    if (!line_.reply(static_cast<std::uint8_t>(version >> 8)))
        return;
    line_.reply(static_cast<std::uint8_t>(version & 0xFF));
}

// 0xC5 -> 0xAF; sixteen 256-byte blocks, each -> 0xAF, with 0x5A after the eighth.
void SimGangProgrammer::loadFirmware() {
    if (!line_.reply(kGangAck))
        return;
    std::vector<std::uint8_t> image(kGangFirmwareSize);
    const std::size_t blocks = kGangFirmwareSize / kBlockSize;
    for (std::size_t block = 0; block < blocks; ++block) {
        if (!line_.readBlock(image.data() + block * kBlockSize, kBlockSize))
            return;
        if (!line_.reply(kGangAck))
            return;
        if (block == 7 && !line_.expect(kGangFirmwareMidMarker, "marker after block 8"))
            return;
    }
    std::lock_guard lock(mutex_);
    ++loads_;
    if (const auto identity = identityOfFirmware(image);
        identity && identity->kind == kGangProgrammerKind) {
        version_ = identity->version;
    }
    loaded_ = std::move(image);
}

}  // namespace tarnel::sim

#include "sim/sim_bootloader.h"

#include <algorithm>

#include "core/chip_catalogue.h"

namespace tarnel::sim {

namespace {

constexpr std::uint8_t kProbe = 0x00;
constexpr std::uint8_t kWriteConfig = 0xCC;
constexpr std::uint8_t kEraseAprom = 0xC1;
constexpr std::uint8_t kProgramAprom = 0xC2;
constexpr std::uint8_t kEnd = 0xC3;
constexpr std::uint8_t kEraseDataFlash = 0xCA;
constexpr std::uint8_t kProgramDataFlash = 0xCB;
constexpr std::uint8_t kAccepted = 'Z';
constexpr std::uint8_t kDone = 0xA5;
constexpr std::uint8_t kEraseAnnounced = 0xFF;
constexpr std::size_t kMaxBlock = 128;
// A probe's answer takes this long: about one character time at 9600 baud (on a paced line
// the answer's own character time stands for it).
constexpr std::uint32_t kProbeAnswerMs = 1;
// Writing CONFIG takes this long after its bytes have arrived.
constexpr std::uint32_t kConfigWriteMs = 50;
// Sizes of a chip whose part is not named.
constexpr std::size_t kDefaultApromSize = 0x10000;
constexpr std::size_t kDefaultDataFlashSize = 0x1000;

// Code protection is on while the lock bit (bit 1 of CONFIG0's low byte) is 0.
bool locksChip(const std::array<std::uint8_t, 8>& config) {
    return (config[7] & 0x02) == 0;
}

std::size_t slot(Region region) {
    return region == Region::Aprom ? 0 : 1;
}

}  // namespace

SimBootloader::SimBootloader(DeviceLine& line, std::vector<BootChip> chips)
    : SimDevice(line), chips_(std::move(chips)) {
    const ChipCatalogue catalogue;
    for (BootChip& boot : chips_) {
        SimChip& chip = boot.chip;
        if (chip.partIndex) {
            shapeChip(chip, catalogue.partAt(*chip.partIndex));
        } else {
            chip.aprom.resize(kDefaultApromSize, chip.fill[0]);
            chip.dataFlash.resize(kDefaultDataFlashSize, chip.fill[1]);
        }
    }
    onCommand(kProbe, [this] { probe(); });
    onCommand(kWriteConfig, [this] { writeConfig(); });
    onCommand(kEraseAprom, [this] { erase(Region::Aprom); });
    onCommand(kEraseDataFlash, [this] { erase(Region::DataFlash); });
    onCommand(kProgramAprom, [this] { program(Region::Aprom); });
    onCommand(kProgramDataFlash, [this] { program(Region::DataFlash); });
    onCommand(kEnd, [this] { end(); });
}

std::vector<SimChip> SimBootloader::chips() const {
    std::lock_guard lock(mutex_);
    std::vector<SimChip> copies;
    for (const BootChip& boot : chips_)
        copies.push_back(boot.chip);
    return copies;
}

int SimBootloader::chipsDone() const {
    std::lock_guard lock(mutex_);
    return done_;
}

BootChip* SimBootloader::current() {
    return index_ < chips_.size() ? &chips_[index_] : nullptr;
}

void SimBootloader::nextChip() {
    std::lock_guard lock(mutex_);
    ++done_;
    ++index_;
    phase_ = index_ < chips_.size() ? Phase::WaitingForReset : Phase::Gone;
    probes_ = 0;
    answers_ = 0;
    writePosition_[0] = writePosition_[1] = 0;
}

bool SimBootloader::serving() {
    if (phase_ == Phase::Announced)
        phase_ = Phase::Serving;
    return phase_ == Phase::Serving;
}

void SimBootloader::probe() {
    if (phase_ == Phase::Serving)
        nextChip();  // the host has moved on to the next chip
    BootChip* chip = current();
    if (chip == nullptr)
        return;
    const std::uint64_t now = line_.clock().nowMs();
    if (phase_ == Phase::WaitingForReset) {
        if (probes_++ == 0)
            firstProbeMs_ = now;
        const bool reset = chip->resetAfterMs != 0 ? now - firstProbeMs_ >= chip->resetAfterMs
                                                   : probes_ > chip->resetAfterProbes;
        if (!reset)
            return;
        phase_ = Phase::Announced;
    }
    // Announced: every probe is answered, in case the host missed an answer.
    const std::uint8_t answer =
        answers_ < chip->leadingAnswers.size() ? chip->leadingAnswers[answers_] : chip->baudCode;
    ++answers_;
    if (!line_.paced())
        line_.clock().sleepMs(kProbeAnswerMs);
    line_.reply(answer);
}

void SimBootloader::writeConfig() {
    if (!serving())
        return;
    BootChip& boot = *current();
    if (!line_.reply(kAccepted))
        return;
    std::array<std::uint8_t, 8> config{};
    // The bytes come CONFIG0 first, its lowest byte first: the reverse of the host's order.
    for (int i = 7; i >= 0; --i) {
        if (!line_.read(config[static_cast<std::size_t>(i)]))
            return;
    }
    const bool unprotect = boot.chip.locked && !locksChip(config);
    if (!line_.reply(unprotect ? kEraseAnnounced : std::uint8_t{0x00}))
        return;
    if (unprotect) {
        line_.work(boot.eraseMs);
        std::lock_guard lock(mutex_);
        std::fill(boot.chip.aprom.begin(), boot.chip.aprom.end(), std::uint8_t{0xFF});
    }
    line_.work(kConfigWriteMs);
    {
        std::lock_guard lock(mutex_);
        boot.chip.config = config;
        boot.chip.locked = locksChip(config);
    }
    line_.reply(kDone);
}

void SimBootloader::erase(Region region) {
    if (!serving())
        return;
    BootChip& boot = *current();
    if (!line_.reply(kAccepted))
        return;
    line_.work(boot.eraseMs);
    {
        std::lock_guard lock(mutex_);
        auto& memory = boot.chip.memory(region);
        std::fill(memory.begin(), memory.end(), std::uint8_t{0xFF});
        writePosition_[slot(region)] = 0;
    }
    line_.reply(kDone);
}

void SimBootloader::program(Region region) {
    if (!serving())
        return;
    BootChip& boot = *current();
    if (!line_.reply(kAccepted))
        return;
    std::uint8_t count = 0;
    if (!line_.read(count))
        return;
    if (count == 0 || count > kMaxBlock) {
        line_.recordError("block count " + std::to_string(count) + " out of range");
        line_.reply(kBlockRefused);
        return;
    }
    std::array<std::uint8_t, kMaxBlock + 2> frame{};
    if (!line_.readBlock(frame.data(), count + 2u))
        return;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += frame[i];
    const std::uint16_t given = static_cast<std::uint16_t>((frame[count] << 8) | frame[count + 1]);
    if (static_cast<std::uint16_t>(sum) != given) {
        line_.recordError("block sum mismatch");
        line_.reply(kBlockRefused);
        return;
    }
    bool written = false;
    {
        std::lock_guard lock(mutex_);
        auto& memory = boot.chip.memory(region);
        std::size_t& position = writePosition_[slot(region)];
        if (position + count <= memory.size()) {
            std::copy_n(frame.begin(), count, memory.begin() + static_cast<long>(position));
            position += count;
            written = true;
        }
    }
    if (!written)
        line_.recordError("block past the end of the region");
    line_.reply(written ? kDone : kBlockRefused);
}

void SimBootloader::end() {
    if (!serving())
        return;
    // The chip is done once the end command came; counted before the answer, so a host that
    // has the answer sees it done.
    nextChip();
    line_.reply(kAccepted);
}

}  // namespace tarnel::sim

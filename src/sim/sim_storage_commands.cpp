// A single programmer's storage and update commands: the storage download (0xC2) with its
// record checks, the S/N settings (0xD2), and the update (0xC3) that reports the stored setup
// and then programs the chip in the socket from storage, over the ISP or the ICP path.

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/chip_catalogue.h"
#include "link/programmer_kind.h"
#include "link/programmer_session.h"
#include "sim/sim_programmer.h"

namespace tarnel::sim {

namespace {

constexpr std::uint8_t kGo = 0x00;
constexpr std::uint8_t kStop = 0xFF;
constexpr std::uint8_t kRegionFailed = 0x01;
// Between the fields of its stored-setup report the programmer listens this long for the
// host's stop byte, so that it does not talk on after the host has stopped it.
constexpr std::uint32_t kStopListenMs = 10;
// How long the programmer waits for the operator to answer the code-protection warning.
constexpr std::uint32_t kOperatorWaitMs = 600000;

std::string hexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::size_t pagesOf(std::size_t length) {
    return (length + kBlockSize - 1) / kBlockSize;
}

std::uint32_t bigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

std::string textOf(const std::uint8_t* bytes, std::size_t size) {
    const auto* end = std::find(bytes, bytes + size, std::uint8_t{0});
    return std::string(bytes, end);
}

// The DataFlash base the record carries for a part, by the first rule that applies.
std::array<std::uint8_t, 2> expectedDataFlashBase(const PartRecord& part,
                                                  const std::array<std::uint8_t, 8>& config) {
    if (part.legacyConfig && part.dataFlashInAprom)
        return {0x01, 0x00};
    if (part.is32Bit && part.dataFlashInAprom)
        return {config[1], config[2]};
    if (part.isPike && part.dataFlashInAprom)
        return {0x00, config[6]};
    if (part.isTern)
        return {0x01, 0x02};
    return {static_cast<std::uint8_t>(part.dataFlashStart >> 16),
            static_cast<std::uint8_t>(part.dataFlashStart >> 8)};
}

// ---- Storage record --------------------------------------------------------------------

void decodeRecord(StoredSetup& setup) {
    const auto& r = setup.record;
    setup.partIndex = static_cast<std::uint16_t>(r[0] | r[1] << 8);
    setup.legacyChipCode = r[2];
    setup.aprom.lastAddress = bigEndian(&r[3], 3);
    setup.aprom.checksum = bigEndian(&r[6], 4);
    setup.aprom.minute = r[10];
    setup.aprom.second = r[11];
    setup.dataFlash.lastAddress = bigEndian(&r[12], 3);
    setup.dataFlash.checksum = bigEndian(&r[15], 4);
    setup.dataFlash.minute = r[19];
    setup.dataFlash.second = r[20];
    setup.ldrom.lastAddress = bigEndian(&r[21], 2);
    setup.ldrom.checksum = bigEndian(&r[23], 3);
    setup.ldrom.minute = r[26];
    setup.ldrom.second = r[27];
    for (std::size_t k = 0; k < 8; ++k)
        setup.configBytes[7 - k] = r[28 + k];
    setup.flags = r[36];
    setup.deviceId = static_cast<std::uint16_t>(r[41] << 8 | r[42]);
    setup.usageLeft = static_cast<std::uint16_t>(r[45] << 8 | r[46]);
    setup.dataFlashBase = {r[47], r[48]};
    setup.algoFlag = r[49];
    setup.gangVerifyOnly = r[50] == 0xFF;
}

// Records a protocol error for every field that is not what the catalogue row says.
void checkRecord(DeviceLine& line, const StoredSetup& setup) {
    const auto& r = setup.record;
    auto field = [&line](const std::string& name, std::uint32_t got, std::uint32_t expected) {
        if (got != expected) {
            line.recordError("storage record " + name + ": got " + hexText(got) + ", expected " +
                             hexText(expected));
        }
    };
    const PartRecord& part = partRow(setup.partIndex);
    if (part.partNumber.empty() || part.partNumber == "-") {
        line.recordError("storage record names no part: index " + std::to_string(setup.partIndex));
        return;
    }
    field("field 3 (chip code)", r[2], part.legacyChipCode);
    if (!setup.updates(Region::Aprom))
        field("fields 9, 10 (APROM sum, not updated)", r[8] << 8 | r[9], 0);
    if (!setup.updates(Region::DataFlash))
        field("fields 18, 19 (DataFlash sum, not updated)", r[17] << 8 | r[18], 0);
    if (!setup.updates(Region::Ldrom))
        field("fields 25, 26 (LDROM sum, not updated)", r[24] << 8 | r[25], 0);
    field("field 38 (APROM pages)", r[37], part.apromPages & 0xFF);
    field("field 39 (DataFlash start page)", r[38], part.dataFlashStartPage & 0xFF);
    field("field 40", r[39], part.algoParamA);
    field("field 41", r[40], part.algoParamB);
    field("fields 42, 43 (device id)", setup.deviceId, part.deviceId & 0xFFFF);
    field("field 44", r[43], part.algoParamC);
    field("field 45", r[44], part.algoParamD);
    if (setup.usageLeft == 0 || (setup.usageLeft > 60000 && setup.usageLeft != kNoUsageLimit))
        field("fields 46, 47 (usage times)", setup.usageLeft, kNoUsageLimit);
    const auto base = expectedDataFlashBase(part, setup.configBytes);
    field("fields 48, 49 (DataFlash base)", r[47] << 8 | r[48], base[0] << 8 | base[1]);
    field("field 50", r[49], part.algoFlag);
    if (r[50] != 0x00 && r[50] != 0xFF)
        field("field 51 (gang mode)", r[50], 0x00);
    field("field 52", r[51], part.dataFlashStart == 0x1F000 ? 0x00 : 0xFF);
    if (setup.partNumber != part.partNumber) {
        line.recordError("storage record part number \"" + setup.partNumber + "\", expected \"" +
                         std::string(part.partNumber) + "\"");
    }
}

// One region of the storage download: ready, the data blocks, the re-read, the checksum and
// the host's verdict. False when the region did not end with the host's 0x00.
bool receiveRegion(DeviceLine& line, StoredImage& image, Region region) {
    const std::uint32_t mask = region == Region::Ldrom ? 0xFFFF : 0xFFFFFF;
    // A last address of all ones announces an empty image.
    const std::uint32_t length = (image.lastAddress + 1) & mask;
    if (length > kImageCapacity) {
        line.recordError("storage record announces " + std::to_string(length) +
                         " bytes for a region");
        return false;
    }
    if (!line.reply(kSingleAck))
        return false;
    image.data.assign(length, 0);
    std::size_t blocks = 0;
    for (std::size_t offset = 0; offset < length; offset += kBlockSize, ++blocks) {
        const std::size_t count = std::min<std::size_t>(kBlockSize, length - offset);
        if (!line.readBlock(image.data.data() + offset, count) || !line.reply(kSingleAck))
            return false;
    }
    for (std::size_t block = 0; block < blocks; ++block) {
        if (!line.reply(kSingleAck))
            return false;
    }
    const std::uint32_t sum = byteSum(image.data);
    std::array<std::uint8_t, 4> reply{
        static_cast<std::uint8_t>(sum >> 24), static_cast<std::uint8_t>(sum >> 16),
        static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
    if (region == Region::Ldrom)
        reply[0] = 0x00;
    if (!line.replyBlock(reply.data(), reply.size()))
        return false;
    std::uint8_t verdict = 0;
    if (!line.read(verdict))
        return false;
    if (verdict == kGo)
        return true;
    if (verdict != kStop)
        line.recordError("expected 0x00 or 0xFF after the storage checksum, got " +
                         hexText(verdict));
    return false;
}

// 0xC2 -> 0xA5 0xA5; fields 1..52 -> 0xA5; part number and three names, each -> 0xA5;
// storage cleared -> 0xA5; then each region the FLAGs select.
void storageDownload(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    if (!line.reply(kSingleAck) || !line.reply(kSingleAck))
        return;
    StoredSetup setup;
    for (std::uint8_t& byte : setup.record) {
        if (!line.read(byte))
            return;
    }
    if (!line.reply(kSingleAck))
        return;
    std::array<std::uint8_t, kPartNumberField> partNumber{};
    if (!line.readBlock(partNumber.data(), partNumber.size()) || !line.reply(kSingleAck))
        return;
    for (const Region region : {Region::Aprom, Region::DataFlash, Region::Ldrom}) {
        std::array<std::uint8_t, kFileNameField> name{};
        if (!line.readBlock(name.data(), name.size()) || !line.reply(kSingleAck))
            return;
        setup.image(region).name = textOf(name.data(), name.size());
    }
    setup.partNumber = textOf(partNumber.data(), partNumber.size());
    decodeRecord(setup);
    checkRecord(line, setup);

    // The old storage is gone from here on.
    programmer.withState([&](ProgrammerState& state) {
        setup.serial = state.pendingSerial;
        state.setup = setup;
    });
    line.work(line.deviceTimes().storageClearMs);
    if (!line.reply(kSingleAck))
        return;
    for (const Region region : {Region::Aprom, Region::DataFlash, Region::Ldrom}) {
        if (!setup.updates(region))
            continue;
        if (!receiveRegion(line, setup.image(region), region))
            return;
        programmer.withState(
            [&](ProgrammerState& state) { state.setup.image(region) = setup.image(region); });
    }
    programmer.withState([](ProgrammerState& state) { state.setup.present = true; });
}

// ---- S/N settings ----------------------------------------------------------------------

bool isBcd(const std::array<std::uint8_t, 8>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](std::uint8_t b) { return (b >> 4) <= 9 && (b & 0x0F) <= 9; });
}

// 0xD2 -> 0xA5; address (3 bytes), S/N (8), increment (8); no answer.
void serialSettings(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    if (!line.reply(kSingleAck))
        return;
    std::array<std::uint8_t, 3> address{};
    SerialSettings settings;
    if (!line.readBlock(address.data(), address.size()) ||
        !line.readBlock(settings.serial.data(), settings.serial.size()) ||
        !line.readBlock(settings.increment.data(), settings.increment.size()))
        return;
    settings.address = bigEndian(address.data(), 3);
    if (!isBcd(settings.serial) || !isBcd(settings.increment))
        line.recordError("S/N settings are not packed decimal");
    programmer.withState([&](ProgrammerState& state) { state.pendingSerial = settings; });
}

// ---- Programming from storage ----------------------------------------------------------

// How a programming run talks: over the line for a single programmer, not at all for a gang
// unit that its gang programmer started.
class RunLink {
  public:
    explicit RunLink(DeviceLine* line) : line_(line) {}

    bool send(std::uint8_t byte) { return line_ == nullptr || line_->reply(byte); }
    // Programming: one acknowledge per tick, each after the tick's work.
    bool acks(std::size_t count) { return ticks(count, programTickMs()); }
    std::uint32_t programTickMs() const {
        return line_ == nullptr ? 0 : line_->deviceTimes().programTickMs;
    }
    void work(std::uint32_t ms) {
        if (line_ != nullptr)
            line_->work(ms);
    }
    // An erase: the page count (0 standing for 256), then one acknowledge per page erased.
    bool erase(std::size_t pages) {
        return send(static_cast<std::uint8_t>(pages & 0xFF)) &&
               ticks(pages, line_ == nullptr ? 0 : line_->deviceTimes().pageEraseMs);
    }
    // The host's 0x00 after a question or a chip check; a silent run goes on at once.
    bool awaitGo(std::uint32_t waitMs) {
        if (line_ == nullptr)
            return true;
        const auto byte = line_->poll(waitMs);
        if (!byte) {
            line_->recordError("no 0x00 from the host");
            return false;
        }
        if (*byte != kGo) {
            line_->recordError("expected 0x00 from the host, got " + hexText(*byte));
            return false;
        }
        return true;
    }

  private:
    bool ticks(std::size_t count, std::uint32_t workMs) {
        for (std::size_t i = 0; i < count; ++i) {
            work(workMs);
            if (!send(kSingleAck))
                return false;
        }
        return true;
    }

    DeviceLine* line_;
};

std::size_t erasePages(std::size_t regionSize) {
    // The programmer erases in 256-byte pages and reports the count in one byte.
    return std::min<std::size_t>(pagesOf(regionSize), 256);
}

bool dataFlashEnabled(const StoredSetup& setup) {
    const PartRecord& part = partRow(setup.partIndex);
    if (!part.hasDataFlash)
        return false;
    return !part.dataFlashInAprom || (setup.configBytes[7] & 0x01) == 0;
}

// Erases a region of the chip and writes an image from its start; false when it does not fit.
bool writeRegion(SimChip& chip, Region region, const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t>& memory = chip.memory(region);
    if (image.size() > memory.size())
        return false;
    std::fill(memory.begin(), memory.end(), std::uint8_t{0xFF});
    std::copy(image.begin(), image.end(), memory.begin());
    return true;
}

struct Run {
    ProgrammerState& state;
    RunLink& link;
    bool refuse() const { return state.setup.usageLeft == 0; }
    bool fits() const { return state.chip.matches(state.setup.partIndex); }
    std::uint8_t verdict(bool ok) const {
        return refuse() ? kUsageExhaustedCode : ok ? std::uint8_t{0x00} : kRegionFailed;
    }
};

// The ISP path: CONFIG (with the code-protection question), APROM, DataFlash; no LDROM.
bool runIsp(Run& run) {
    const StoredSetup& setup = run.state.setup;
    SimChip& chip = run.state.chip;
    const bool usable = run.fits() && !run.refuse();
    if (setup.updatesConfig()) {
        const bool unprotect = usable && chip.locked;
        if (!run.link.send(unprotect ? 0xFF : 0x00))
            return false;
        if (unprotect) {
            if (!run.link.awaitGo(kOperatorWaitMs) ||
                !run.link.erase(erasePages(chip.aprom.size())))
                return false;
            std::fill(chip.aprom.begin(), chip.aprom.end(), std::uint8_t{0xFF});
            chip.locked = false;
        }
        const bool ok = usable && !chip.locked;
        if (!run.link.send(run.verdict(ok)) || !ok)
            return false;
        chip.config = setup.configBytes;
    }
    if (setup.updates(Region::Aprom)) {
        if (setup.separateApromErase() && !run.link.erase(erasePages(chip.aprom.size())))
            return false;
        if (!run.link.acks(2 * pagesOf(setup.aprom.data.size())))
            return false;
        const bool ok =
            usable && !chip.locked && writeRegion(chip, Region::Aprom, setup.aprom.data);
        if (!run.link.send(run.verdict(ok)) || !ok)
            return false;
    }
    if (setup.updates(Region::DataFlash)) {
        const bool enabled = dataFlashEnabled(setup);
        if (!run.link.send(enabled ? 0x00 : kRegionFailed) || !enabled)
            return false;
        if (!run.link.erase(erasePages(chip.dataFlash.size())) ||
            !run.link.acks(2 * pagesOf(setup.dataFlash.data.size())))
            return false;
        const bool ok =
            usable && !chip.locked && writeRegion(chip, Region::DataFlash, setup.dataFlash.data);
        if (!run.link.send(run.verdict(ok)) || !ok)
            return false;
    }
    return true;
}

// The ICP path: chip check, the regions with two status bytes per page, CONFIG. A locked
// chip is erased by the programmer, but its DataFlash stays locked until CONFIG is written.
bool runIcp(Run& run) {
    const StoredSetup& setup = run.state.setup;
    SimChip& chip = run.state.chip;
    const std::uint8_t check = !run.fits() ? 2 : chip.locked ? 1 : 0;
    if (!run.link.send(check) || !run.link.awaitGo(kOperatorWaitMs) || check == 2)
        return false;
    const bool dataFlashLocked = chip.locked;
    if (chip.locked) {
        std::fill(chip.aprom.begin(), chip.aprom.end(), std::uint8_t{0xFF});
        std::fill(chip.ldrom.begin(), chip.ldrom.end(), std::uint8_t{0xFF});
        chip.config.fill(0xFF);
        chip.locked = false;
    }
    for (const Region region : {Region::Aprom, Region::DataFlash, Region::Ldrom}) {
        if (!setup.updates(region))
            continue;
        const std::vector<std::uint8_t>& image = setup.image(region).data;
        const std::size_t pages = pagesOf(image.size());
        if (pages == 0)
            continue;  // nothing to write, no status to give
        const bool ok = !run.refuse() && !(region == Region::DataFlash && dataFlashLocked) &&
                        writeRegion(chip, region, image);
        if (!ok) {
            run.link.send(run.verdict(false));
            return false;
        }
        for (std::size_t i = 0; i < 2 * pages; ++i) {
            run.link.work(run.link.programTickMs());
            if (!run.link.send(0x00))
                return false;
        }
    }
    if (setup.updatesConfig()) {
        const bool ok = !run.refuse();
        if (!run.link.send(run.verdict(ok)) || !ok)
            return false;
        chip.config = setup.configBytes;
    }
    return true;
}

// Writes the S/N into the chip's APROM and advances it, as the last step of a good run.
void writeSerial(ProgrammerState& state, DeviceLine* line) {
    if (!state.pendingSerial)
        return;
    SerialSettings& serial = *state.pendingSerial;
    std::vector<std::uint8_t>& aprom = state.chip.aprom;
    if (std::size_t{serial.address} + serial.serial.size() <= aprom.size()) {
        std::copy(serial.serial.begin(), serial.serial.end(), aprom.begin() + serial.address);
    } else if (line != nullptr) {
        line->recordError("S/N address " + hexText(serial.address) + " lies outside APROM");
    }
    serial.serial = addBcd(serial.serial, serial.increment);
    state.setup.serial = serial;
}

// Runs the stored setup on the chip; the chip, usage count and S/N change as a programmer's
// would. True when the chip passed.
bool runStoredSetup(ProgrammerState& state, RunLink& link, DeviceLine* line) {
    shapeChipForSetup(state);
    Run run{state, link};
    const bool passed = state.setup.icp() ? runIcp(run) : runIsp(run);
    if (passed && state.setup.icp())
        writeSerial(state, line);
    state.pendingSerial.reset();
    if (passed) {
        ++state.chipsProgrammed;
        if (state.setup.usageLeft != kNoUsageLimit)
            --state.setup.usageLeft;
    }
    return passed;
}

bool verifyStoredSetup(const ProgrammerState& state) {
    const StoredSetup& setup = state.setup;
    const SimChip& chip = state.chip;
    if (!chip.matches(setup.partIndex) || chip.locked)
        return false;
    for (const Region region : {Region::Aprom, Region::DataFlash, Region::Ldrom}) {
        if (!setup.updates(region))
            continue;
        const std::vector<std::uint8_t>& image = setup.image(region).data;
        const std::vector<std::uint8_t>& memory = chip.memory(region);
        if (image.size() > memory.size() || !std::equal(image.begin(), image.end(), memory.begin()))
            return false;
    }
    return !setup.updatesConfig() || chip.config == setup.configBytes;
}

// ---- Update ----------------------------------------------------------------------------

// Sends one field of the stored-setup report; false when the host has stopped the report
// (or the line failed).
bool reportField(DeviceLine& line, const std::vector<std::uint8_t>& bytes) {
    if (!line.replyBlock(bytes.data(), bytes.size()))
        return false;
    const auto stop = line.poll(kStopListenMs);
    if (stop && *stop != kStop)
        line.recordError("expected no byte or 0xFF during the report, got " + hexText(*stop));
    return !stop;
}

std::vector<std::uint8_t> nameField(const std::string& name) {
    std::vector<std::uint8_t> field(kFileNameField, 0);
    std::copy_n(name.begin(), std::min(name.size(), field.size() - 1), field.begin());
    return field;
}

// 0xC3 -> 0xA5, the stored-setup report field by field, then the host's go (0x00) or stop
// (0xFF); on go the chip is programmed from storage.
void update(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    if (!line.reply(kSingleAck))
        return;
    ProgrammerState state = programmer.state();
    const StoredSetup& s = state.setup;
    if (!s.present) {
        if (programmer.wholeReport()) {
            // An erased programmer of this kind reports 0xFF throughout and then waits for
            // the host's decision like any other.
            const std::vector<std::uint8_t> erased(kStoredSetupReportSize, 0xFF);
            std::uint8_t answer = 0;
            if (line.replyBlock(erased.data(), erased.size()) && line.read(answer) &&
                answer != kStop)
                line.recordError("expected 0xFF after an erased report, got " + hexText(answer));
            return;
        }
        // Nothing more is reported. (A gang host answers this with a stop byte, which then
        // reaches the gang programmer as an unknown command.)
        line.reply(0x01);
        return;
    }
    const auto& r = s.record;
    auto bytes = [&r](std::size_t first, std::size_t count) {
        return std::vector<std::uint8_t>(r.begin() + first, r.begin() + first + count);
    };
    std::vector<std::vector<std::uint8_t>> fields = {{0x00}};
    if (programmer.firmwareVersion() < 0x0501) {
        fields.push_back({r[0]});
    } else {
        fields.push_back({r[0], r[1]});
    }
    fields.push_back({r[36]});
    fields.push_back(bytes(3, 3));
    fields.push_back(bytes(6, 4));
    fields.push_back(bytes(10, 2));
    fields.push_back(nameField(s.aprom.name));
    fields.push_back(bytes(12, 3));
    fields.push_back(bytes(15, 4));
    fields.push_back(bytes(19, 2));
    fields.push_back(nameField(s.dataFlash.name));
    fields.push_back(bytes(21, 2));
    fields.push_back(bytes(23, 3));
    fields.push_back(bytes(26, 2));
    fields.push_back(nameField(s.ldrom.name));
    fields.push_back(bytes(28, 8));
    fields.push_back({r[50]});
    if (programmer.wholeReport()) {
        // The whole report goes out before the host's decision is read.
        std::vector<std::uint8_t> report;
        for (const auto& field : fields)
            report.insert(report.end(), field.begin(), field.end());
        if (!line.replyBlock(report.data(), report.size()))
            return;
    } else {
        for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
            if (!reportField(line, fields[i]))
                return;
        }
        if (!line.reply(fields.back().front()))
            return;
    }
    std::uint8_t answer = 0;
    if (!line.read(answer))
        return;
    if (answer == kStop)
        return;
    if (answer != kGo) {
        line.recordError("expected 0x00 or 0xFF after the report, got " + hexText(answer));
        return;
    }
    RunLink link(&line);
    runStoredSetup(state, link, &line);
    programmer.withState([&](ProgrammerState& live) { live = std::move(state); });
}

}  // namespace

void registerStorageCommands(SimProgrammer& programmer) {
    programmer.onCommand(command::kDownloadStorage, [&programmer] { storageDownload(programmer); });
    programmer.onCommand(command::kSerialNumberSettings,
                         [&programmer] { serialSettings(programmer); });
    programmer.onCommand(command::kUpdateChips, [&programmer] { update(programmer); });
}

bool runStoredSetupSilently(SimProgrammer& unit) {
    ProgrammerState state = unit.state();
    if (!state.setup.present) {
        state.pendingSerial.reset();
        unit.withState([&](ProgrammerState& live) { live = std::move(state); });
        return false;
    }
    bool passed = false;
    shapeChipForSetup(state);
    if (state.setup.gangVerifyOnly) {
        passed = verifyStoredSetup(state);
    } else {
        RunLink silent(nullptr);
        passed = runStoredSetup(state, silent, nullptr);
    }
    unit.withState([&](ProgrammerState& live) { live = std::move(state); });
    return passed;
}

}  // namespace tarnel::sim

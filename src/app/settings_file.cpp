#include "app/settings_file.h"

#include <algorithm>
#include <cstring>

#include "core/atomic_file.h"
#include "image/byte_fields.h"

namespace tarnel {

namespace {

using namespace fields;

constexpr std::size_t kProgrammerType = 0;
constexpr std::size_t kPartIndex = 1;
constexpr std::size_t kUsageTimes = 8;  // high, then low
constexpr std::size_t kSerialEnabled = 10;
constexpr std::size_t kSerialAddress = 11;
constexpr std::size_t kIncrement = 16;
constexpr std::size_t kSerialNumber = 24;
constexpr std::size_t kChipCounterEnabled = 32;
constexpr std::size_t kChipCounterDown = 33;
constexpr std::size_t kChipCounter = 34;
constexpr std::size_t kUartProtocol = 40;
constexpr std::size_t kComPortName = 256;
constexpr AdvancedFieldPlaces kAdvancedFields{.usageTimes = kUsageTimes,
                                              .usageLimitEnabled = kNoField,
                                              .serialEnabled = kSerialEnabled,
                                              .serialAddress = kSerialAddress,
                                              .increment = kIncrement,
                                              .serialNumber = kSerialNumber,
                                              .chipCounterEnabled = kChipCounterEnabled,
                                              .chipCounterDown = kChipCounterDown,
                                              .chipCounter = kChipCounter,
                                              .uartProtocol = kUartProtocol};

constexpr std::size_t kMaxPortChars = 15;
constexpr std::uint32_t kDefaultPartIndex = 2;
// The file is 256 bytes and a port name; anything far beyond is not ours.
constexpr std::uint64_t kMaxSettingsFileSize = 64 * 1024;

}  // namespace

std::string settingsPathIn(std::string_view workDirectory) {
    std::string path(workDirectory);
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    return path + kSettingsFileName;
}

std::vector<std::uint8_t> encodeSettings(const ProgrammingJob& job) {
    std::vector<std::uint8_t> out(kComPortName, 0);
    out[kProgrammerType] = job.programmerType;
    putU16(out, kPartIndex, job.partIndex & 0xFFFF);
    putAdvancedFields(out, kAdvancedFields, job);
    const std::size_t portChars = strnlen(job.comPortName.data(), kMaxPortChars);
    out.insert(out.end(), job.comPortName.begin(), job.comPortName.begin() + portChars);
    return out;
}

void decodeSettings(std::span<const std::uint8_t> in, ProgrammingJob& job) {
    // Fields in file order; the first one the bytes do not hold ends the reading.
    if (!has(in, kProgrammerType, 1))
        return;
    job.programmerType = in[kProgrammerType];

    if (!has(in, kPartIndex, 2))
        return;
    const std::uint32_t index = getU16(in, kPartIndex);
    job.partIndex = ChipCatalogue::contains(index) ? index : kDefaultPartIndex;

    if (!has(in, kUsageTimes, 2))
        return;
    const bool noUsageTimes = in[kUsageTimes] == 0 && in[kUsageTimes + 1] == 0;
    job.usageTimesHigh = noUsageTimes ? 0xFF : in[kUsageTimes];
    job.usageTimesLow = noUsageTimes ? 0xFF : in[kUsageTimes + 1];

    if (!has(in, kSerialEnabled, 1))
        return;
    job.serialEnabled = in[kSerialEnabled] != 0;

    if (!has(in, kSerialAddress, 4))
        return;
    job.serialAddress = getU32(in, kSerialAddress);

    if (!has(in, kIncrement, 8))
        return;
    getSerial(in, kIncrement, job.incrementHigh, job.incrementLow);

    if (!has(in, kSerialNumber, 8))
        return;
    getSerial(in, kSerialNumber, job.serialHigh, job.serialLow);

    if (!has(in, kChipCounterEnabled, 1))
        return;
    job.chipCounterEnabled = in[kChipCounterEnabled] != 0;

    if (!has(in, kChipCounterDown, 1))
        return;
    job.chipCounterDown = in[kChipCounterDown] != 0;

    if (!has(in, kChipCounter, 4))
        return;
    job.chipCounter = std::min(getU32(in, kChipCounter), kChipCounterMax);

    if (!has(in, kUartProtocol, 1))
        return;
    job.uartFastProtocol = in[kUartProtocol] == 0x00;

    if (!has(in, kComPortName, 0))
        return;
    const std::size_t portChars = std::min(in.size() - kComPortName, kMaxPortChars);
    job.comPortName.fill(0);
    std::memcpy(job.comPortName.data(), in.data() + kComPortName, portChars);
}

bool loadSettings(ProgrammingJob& job) {
    std::vector<std::uint8_t> bytes;
    if (readWholeFile(job.settingsFilePath, bytes, kMaxSettingsFileSize) != ReadResult::Ok) {
        return false;
    }
    decodeSettings(bytes, job);
    return true;
}

bool saveSettings(const ProgrammingJob& job, Operator& op) {
    if (!writeFileAtomically(job.settingsFilePath, encodeSettings(job))) {
        showFail(op, "'GUI.LOG' cannot be created !");
        return false;
    }
    return true;
}

}  // namespace tarnel

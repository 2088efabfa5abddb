#include "isp/uart_isp.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/atomic_file.h"
#include "core/outcome_reporter.h"
#include "link/port_table.h"

namespace tarnel {

namespace {

constexpr const char* kDetectText =
    "Detect chip... (!!! Now, reset the chip, or power off and power on again.)";
constexpr const char* kDetectOk = "Detect chip... ok !";
constexpr const char* kNotOpened = "ComPort cannot be opened !";
constexpr const char* kNotReopened = "ComPort cannot be re-opened !";
constexpr const char* kBaudError = "ComPort baudrate-setting error !";
constexpr const char* kPortFileNotSaved = "'GUI_ComPortISP.LOG' cannot be saved !";
constexpr const char* kPortFileNotCreated = "'GUI_ComPortISP.LOG' cannot be created !";
constexpr const char* kDataFlashHint =
    "\nPlease check:\n (1) Part No.\n (2) Chip's actual CONFIG setting related to DataFlash\n";
constexpr const char* kCodeProtectionWarning =
    "APROM will be erased because code protection is changed from \"Enable\" to "
    "\"Disable\" !";
// The part whose region failures come with a hint about its DataFlash setting.
constexpr std::uint32_t kHintPartIndex = 39;

}  // namespace

std::optional<std::uint32_t> baudRateOfCode(std::uint8_t code) {
    switch (code) {
        case 0x09:
            return 9600;
        case 0x0E:
            return 14400;
        case 0x13:
            return 19200;
        case 0x26:
            return 38400;
        case 0x39:
            return 57600;
        case 0x73:
            return 115200;
        default:
            return std::nullopt;
    }
}

std::uint16_t blockSum(const std::uint8_t* data, std::uint32_t count) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        sum += data[i];
    return static_cast<std::uint16_t>(sum);
}

void setBlockUnits(ImageBuffer& image) {
    image.lengthHigh = image.length >> 7;
    image.lengthLow = image.length & 0x7F;
}

std::string ispSuccessText(const ProgrammingJob& job) {
    std::string text = "Chip is successfully updated !";
    if (job.serialEnabled) {
        char serial[96];
        std::snprintf(serial, sizeof serial, "\n\n( S/N='%08u,%08u' at address 0x%X )",
                      static_cast<unsigned>(job.serialHigh), static_cast<unsigned>(job.serialLow),
                      static_cast<unsigned>(job.serialAddress));
        text += serial;
    }
    return text;
}

UartIsp::UartIsp(ProgrammingJob& job, ProgrammerLink& link, Operator& op, Clock& clock)
    : job_(job), link_(link), op_(op), clock_(clock) {}

// ---- Transfer primitives ------------------------------------------------------------------

bool UartIsp::finish(bool ok) {
    job_.linkResult = ok ? 1 : 0;
    return ok;
}

bool UartIsp::ispSendByte(std::uint8_t value) {
    return finish(link_.writeByte(value));
}

bool UartIsp::ispSendBlock(const std::uint8_t* data, std::uint32_t count) {
    return finish(link_.writeBytes(data, count));
}

bool UartIsp::ispReceiveByte(std::uint8_t& place) {
    return finish(link_.readByte(place));
}

bool UartIsp::ispExpectZ() {
    std::uint8_t reply = 0;
    return ispReceiveByte(reply) && reply == isp::kAccepted;
}

// ---- The port list ------------------------------------------------------------------------

std::vector<std::string> UartIsp::portList() const {
    std::lock_guard lock(listMutex_);
    return portList_;
}

int UartIsp::selectedPort() const {
    std::lock_guard lock(listMutex_);
    return selected_;
}

void UartIsp::selectPort(int index) {
    std::lock_guard lock(listMutex_);
    selected_ = index >= 0 && index < static_cast<int>(portList_.size()) ? index : -1;
}

bool UartIsp::selectPortNamed(const std::string& name) {
    std::lock_guard lock(listMutex_);
    const auto found = std::find(portList_.begin(), portList_.end(), name);
    if (found == portList_.end())
        return false;
    selected_ = static_cast<int>(found - portList_.begin());
    return true;
}

std::string UartIsp::portFilePath() const {
    if (job_.workDirectory.empty())
        return isp::kPortFileName;
    return job_.workDirectory + "/" + isp::kPortFileName;
}

void UartIsp::searchIspPorts() {
    std::error_code error;
    std::ifstream file;
    if (std::filesystem::is_regular_file(portFilePath(), error))
        file.open(portFilePath(), std::ios::binary);
    if (file.is_open()) {
        // Only what fits the 16-byte field with its terminator is read; the rest is cut.
        std::array<char, kPortNameCapacity> content{};
        file.read(content.data(), static_cast<std::streamsize>(content.size() - 1));
        job_.comPortFromIspSearch = true;
        job_.setComPortName(
            std::string_view(content.data(), static_cast<std::size_t>(file.gcount())));
        op_.setPortText(link_.portText(job_.comPortText()));
    } else {
        const std::string name = isp::kDefaultPort;
        if (!writeFileAtomically(
                portFilePath(),
                std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size())))
            showFail(op_, kPortFileNotCreated);
    }
    link_.listAvailablePorts();
    {
        std::lock_guard lock(listMutex_);
        portList_ = link_.availablePorts();
        const auto found = std::find(portList_.begin(), portList_.end(), job_.comPortText());
        selected_ = portList_.empty()          ? -1
                    : found == portList_.end() ? 0
                                               : static_cast<int>(found - portList_.begin());
    }
    op_.beep(BeepKind::Default);
}

// ---- Detection ----------------------------------------------------------------------------

void UartIsp::takeSelectedPort() {
    std::string name;
    {
        std::lock_guard lock(listMutex_);
        if (selected_ >= 0 && selected_ < static_cast<int>(portList_.size()))
            name = portList_[static_cast<std::size_t>(selected_)];
    }
    ispPortName_.fill('\0');
    std::copy_n(name.begin(), std::min(name.size(), ispPortName_.size() - 1), ispPortName_.begin());
}

bool UartIsp::openForDetection() {
    for (int attempt = 0; attempt < isp::kOpenAttempts; ++attempt) {
        link_.close();
        if (link_.openWithTimeout(ispPortName(), isp::kDetectBaudRate, isp::kDetectReadTimeoutMs))
            return true;
    }
    return false;
}

bool UartIsp::reopenAfterFailedProbe() {
    if (!openForDetection())
        return false;
    // A port that keeps failing its probes would otherwise be reopened in a tight loop: give
    // the reopened port the time the probe's read would have taken.
    clock_.sleepMs(isp::kDetectReadTimeoutMs);
    return true;
}

void UartIsp::resetPulse(std::uint32_t ms) {
    link_.setDtr();
    clock_.sleepMs(ms);
    link_.clearDtr();
}

void UartIsp::dropLateAnswers() {
    // A probe whose answer came after its read ended was probed again; the answers still on
    // their way would otherwise be read as the chip's first replies at the new speed.
    if (!link_.setTimeouts(Timeouts{0, 0, isp::kSettleQuietMs, 0, 0}))
        return;
    std::uint8_t late = 0;
    for (int i = 0; i < isp::kMaxLateAnswers && link_.readByte(late); ++i) {
    }
}

bool UartIsp::reopenAtRate(std::uint32_t baudRate) {
    dropLateAnswers();
    link_.close();
    return link_.open(ispPortName(), baudRate);
}

void UartIsp::savePortFile() {
    const std::string name = ispPortName();
    if (!writeFileAtomically(
            portFilePath(),
            std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size())))
        showFail(op_, kPortFileNotSaved);
}

bool UartIsp::detectChip() {
    takeSelectedPort();
    op_.setStatus(kDetectText);
    op_.setProgressRange(20);
    op_.setProgressStep(1);
    op_.setProgressPosition(0);
    if (!openForDetection()) {
        showFail(op_, kNotOpened);
        return false;
    }

    const std::uint64_t start = clock_.nowMs();
    std::uint64_t nextPulse = isp::kPulseIntervalMs;
    bool firstPulseDue = true;
    std::uint64_t elapsed = 0;
    std::optional<std::uint32_t> rate;
    while (elapsed <= isp::kDetectLoopMs) {
        if (elapsed > nextPulse) {
            nextPulse += isp::kPulseIntervalMs;
            op_.stepProgress();
            resetPulse(isp::kResetPulseMs);
        }
        if (firstPulseDue) {
            resetPulse(isp::kResetPulseMs);
            firstPulseDue = false;
        }
        if (!ispSendByte(isp::kProbe)) {
            if (!reopenAfterFailedProbe()) {
                showFail(op_, kNotReopened);
                return false;
            }
        } else {
            std::uint8_t reply = 0;
            if (ispReceiveByte(reply) && (rate = baudRateOfCode(reply))) {
                op_.setStatus(kDetectOk);
                break;
            }
        }
        elapsed = clock_.nowMs() - start;
    }
    // The answer counts only within the window, wherever in the loop it came.
    if (!rate || clock_.nowMs() - start > isp::kDetectWindowMs) {
        op_.setStatus("Detect chip... Not found !");
        return false;
    }
    if (!reopenAtRate(*rate)) {
        showFail(op_, kBaudError);
        return false;
    }
    op_.setPortText(link_.portText(ispPortName()));
    savePortFile();
    return true;
}

// ---- Writing the regions ------------------------------------------------------------------

void UartIsp::pauseSteps(int count, std::uint32_t ms) {
    op_.setProgressRange(count);
    // Each step ends at its own deadline from the start, so late wake-ups do not add up.
    const std::uint64_t start = clock_.nowUs();
    for (int i = 0; i < count; ++i) {
        clock_.sleepUntilUs(start + static_cast<std::uint64_t>(i + 1) * ms * 1000);
        op_.stepProgress();
    }
}

bool UartIsp::ispWriteConfig() {
    if (!ispSendByte(isp::kWriteConfig) || !ispExpectZ())
        return false;
    for (int i = 7; i >= 0; --i) {
        if (!ispSendByte(job_.configBytes[static_cast<std::size_t>(i)]))
            return false;
        clock_.sleepMs(5);
    }
    std::uint8_t first = 0;
    if (!ispReceiveByte(first))
        return false;
    if (first == isp::kEraseAnnounced) {
        if (!job_.productionMode) {
            noteNotice(op_);
            showWarning(op_, kCodeProtectionWarning);
        }
        op_.setStatus("Erase APROM...");
        pauseSteps(100, 1);
    }
    op_.setStatus("Update CONFIG...");
    pauseSteps(100, 5);
    std::uint8_t result = 0;
    return ispReceiveByte(result) && result == isp::kDone;
}

bool UartIsp::ispWriteAprom() {
    ImageBuffer& image = job_.imageAprom;
    if (job_.serialEnabled) {
        const std::uint32_t address = job_.serialAddress;
        if (address + 8 > image.data.size())
            image.data.resize(address + 8, 0xFF);
        if (address >= image.length) {
            std::fill(image.data.begin() + image.length, image.data.begin() + address + 8,
                      std::uint8_t{0xFF});
            image.length = address + 8;
            setBlockUnits(image);
        }
        const Bcd8 bcd = serialAsBcd(job_.serialHigh, job_.serialLow);
        // Packed decimal keeps the lowest digit pair first; the chip wants the highest first.
        std::copy(bcd.rbegin(), bcd.rend(), image.data.begin() + address);
    }
    return writeRegion(Region::Aprom);
}

bool UartIsp::ispWriteDataFlash() {
    return writeRegion(Region::DataFlash);
}

bool UartIsp::writeRegion(Region region) {
    const bool aprom = region == Region::Aprom;
    const ImageBuffer& image = aprom ? job_.imageAprom : job_.imageDataFlash;
    const std::uint8_t program = aprom ? isp::kProgramAprom : isp::kProgramDataFlash;
    const bool fast = job_.uartFastProtocol;

    if (!ispSendByte(aprom ? isp::kEraseAprom : isp::kEraseDataFlash) || !ispExpectZ())
        return false;
    op_.setStatus(aprom ? "Erase APROM..." : "Erase DataFlash...");
    pauseSteps(100, 1);
    link_.setTimeouts(kEraseTimeouts);
    std::uint8_t erased = 0;
    const bool eraseOk = ispReceiveByte(erased) && erased == isp::kDone;
    link_.setTimeouts(kStandardTimeouts);
    if (!eraseOk) {
        showFail(op_, aprom ? "Erase APROM error !" : "Erase DataFlash error !");
        return false;
    }

    // The image's length may lie past what its buffer holds only if the buffer was never
    // sized for it; never read past the buffer.
    const std::uint32_t whole = image.lengthHigh;
    const std::uint32_t last = image.lengthLow;
    if (static_cast<std::uint64_t>(whole) * isp::kBlockBytes + last > image.data.size())
        return false;

    op_.setStatus(aprom ? "Program and verify APROM..." : "Program and verify DataFlash...");
    op_.setProgressRange(static_cast<int>(whole + (last != 0 ? 1 : 0)));
    op_.setProgressStep(1);
    op_.setProgressPosition(0);

    std::array<std::uint8_t, isp::kBlockBytes + 3> frame{};
    std::uint8_t reply = 0;
    for (std::uint32_t block = 0; block < whole; ++block) {
        const std::uint8_t* data = image.data.data() + block * isp::kBlockBytes;
        const std::uint16_t sum = blockSum(data, isp::kBlockBytes);
        frame[0] = static_cast<std::uint8_t>(isp::kBlockBytes);
        std::copy_n(data, isp::kBlockBytes, frame.begin() + 1);
        frame[isp::kBlockBytes + 1] = static_cast<std::uint8_t>(sum >> 8);
        frame[isp::kBlockBytes + 2] = static_cast<std::uint8_t>(sum & 0xFF);

        if (!ispSendByte(program))
            return false;
        clock_.sleepMs(1);
        if (!ispExpectZ())
            return false;
        if (aprom || fast) {
            if (!ispSendBlock(frame.data(), static_cast<std::uint32_t>(frame.size())))
                return false;
        } else {
            // The DataFlash count byte goes alone, the rest of the frame after a pause.
            if (!ispSendByte(frame[0]))
                return false;
            clock_.sleepMs(1);
            if (!ispSendBlock(frame.data() + 1, static_cast<std::uint32_t>(frame.size() - 1)))
                return false;
        }
        clock_.sleepMs(1);
        if (!ispReceiveByte(reply) || reply != isp::kDone)
            return false;
        op_.stepProgress();
        if (aprom && !fast)
            clock_.sleepMs(1);
    }
    if (last != 0) {
        const std::uint8_t* data = image.data.data() + whole * isp::kBlockBytes;
        const std::uint16_t sum = blockSum(data, last);
        if (!ispSendByte(program))
            return false;
        clock_.sleepMs(1);
        if (!ispExpectZ() || !ispSendByte(static_cast<std::uint8_t>(last)))
            return false;
        clock_.sleepMs(1);
        if (!ispSendBlock(data, last))
            return false;
        clock_.sleepMs(5);
        if (!ispSendByte(static_cast<std::uint8_t>(sum >> 8)))
            return false;
        clock_.sleepMs(1);
        if (!ispSendByte(static_cast<std::uint8_t>(sum & 0xFF)))
            return false;
        clock_.sleepMs(1);
        if (!ispReceiveByte(reply) || reply != isp::kDone)
            return false;
        op_.stepProgress();
    }
    return true;
}

std::optional<std::string> UartIsp::writeSelected(bool longTexts) {
    const bool hint = longTexts && job_.partIndex == kHintPartIndex;
    if (job_.updateConfig && !ispWriteConfig())
        return std::string("Update CONFIG error !");
    if (job_.updateAprom && !ispWriteAprom())
        return std::string("Update APROM error !") + (hint ? kDataFlashHint : "");
    if (job_.updateDataFlash && !ispWriteDataFlash())
        return std::string("Update DataFlash error !") + (hint ? kDataFlashHint : "");
    return std::nullopt;
}

void UartIsp::noteIspSerialNumber() {
    if (!job_.serialEnabled)
        return;
    char serial[24];
    std::snprintf(serial, sizeof serial, "%08u,%08u", static_cast<unsigned>(job_.serialHigh),
                  static_cast<unsigned>(job_.serialLow));
    noteSerialNumber(op_, serial);
}

// ---- The flows ----------------------------------------------------------------------------

void UartIsp::ispUpdateChip() {
    setBlockUnits(job_.imageAprom);
    setBlockUnits(job_.imageDataFlash);
    if (!detectChip()) {
        // No boot loader answered: as a programmer that is not there.
        noteFailureClass(op_, FailureClass::Link);
        showFail(op_, "Chip not ready !");
    } else if (const auto failure = writeSelected(true)) {
        noteFailureClass(op_, FailureClass::Chip);
        showFail(op_, *failure);
    } else {
        // The counters move (and are saved) before the box, which may stay up a while.
        const std::string text = ispSuccessText(job_);
        noteIspSerialNumber();
        job_.countChips();
        if (job_.serialEnabled)
            job_.advanceSerialNumber();
        showPass(op_, text, job_.productionMode);
        ispSendByte(isp::kEnd);
        ispExpectZ();
    }
    link_.close();
}

void UartIsp::ispProductionLoop() {
    setBlockUnits(job_.imageAprom);
    setBlockUnits(job_.imageDataFlash);
    for (;;) {
        if (job_.chipCounterEnabled &&
            (job_.chipCounterDown ? job_.chipCounter == 0 : job_.chipCounter >= kChipCounterMax))
            break;
        op_.setProgressRange(1);
        op_.setProgressStep(1);
        op_.setProgressPosition(0);
        takeSelectedPort();
        if (!openForDetection()) {
            showFail(op_, kNotOpened);
            return;
        }
        op_.setStatus(kDetectText);
        std::uint64_t start = clock_.nowMs();
        std::uint32_t k = 1;
        std::optional<std::uint32_t> rate;
        while (!rate) {
            if (!job_.productionMode.load()) {
                link_.close();
                resetProgress(op_);
                return;
            }
            if (clock_.nowMs() - start > std::uint64_t{isp::kPulseIntervalMs} * k) {
                if (++k == isp::kProductionPulseWrap) {
                    k = 1;
                    start = clock_.nowMs();
                }
                op_.stepProgress();
                resetPulse(isp::kProductionPulseMs);
            }
            if (!ispSendByte(isp::kProbe)) {
                if (!reopenAfterFailedProbe()) {
                    showFail(op_, kNotReopened);
                    return;
                }
                continue;
            }
            std::uint8_t reply = 0;
            if (ispReceiveByte(reply))
                rate = baudRateOfCode(reply);
        }
        op_.setStatus(kDetectOk);
        if (!reopenAtRate(*rate)) {
            showFail(op_, kBaudError);
            return;
        }
        savePortFile();
        if (const auto failure = writeSelected(false)) {
            noteFailureClass(op_, FailureClass::Chip);
            showFail(op_, *failure);
            continue;
        }
        const std::string text = ispSuccessText(job_);
        noteIspSerialNumber();
        job_.countChips();
        if (job_.serialEnabled)
            job_.advanceSerialNumber();
        showPass(op_, text, true);
    }
    link_.close();
    resetProgress(op_);
}

}  // namespace tarnel

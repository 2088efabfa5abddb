#include "isp/uart_isp.h"

#include <algorithm>
#include <cstdio>

#include "core/outcome_reporter.h"
#include "core/serial_number_source.h"
#include "isp/isp_messages.h"

namespace tarnel {

using namespace isp;

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
    : job_(job), link_(link), op_(op), clock_(clock), loader_(link, clock, job.linkResult) {}

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
    bool eraseAnnounced = false;
    if (!loader_.sendConfig(job_.configBytes, eraseAnnounced))
        return false;
    if (eraseAnnounced) {
        if (!job_.productionMode) {
            noteNotice(op_);
            showWarning(op_, kCodeProtectionWarning);
        }
        op_.setStatus("Erase APROM...");
        pauseSteps(100, 1);
    }
    op_.setStatus("Update CONFIG...");
    pauseSteps(100, 5);
    return loader_.expectDone();
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
    const bool fast = job_.uartFastProtocol;

    if (!loader_.startErase(region))
        return false;
    op_.setStatus(aprom ? "Erase APROM..." : "Erase DataFlash...");
    pauseSteps(100, 1);
    if (!loader_.awaitErased()) {
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
    for (std::uint32_t block = 0; block < whole; ++block) {
        if (!loader_.programBlock(region, image.data.data() + block * isp::kBlockBytes, fast))
            return false;
        op_.stepProgress();
        // The normal protocol gives the chip a moment between APROM blocks.
        if (aprom && !fast)
            clock_.sleepMs(isp::kFramePauseMs);
    }
    if (last != 0) {
        if (!loader_.programLastBlock(region, image.data.data() + whole * isp::kBlockBytes, last))
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
        // The port is there but no boot loader answered: no chip, or a chip that does not
        // start its boot loader.
        noteFailureClass(op_, FailureClass::Chip);
        showFail(op_, "Chip not ready !");
    } else if (job_.serialEnabled && !drawSerialNumber(job_, op_, 0)) {
        // On a line, a chip whose number cannot be had is not programmed.
    } else if (const auto failure = writeSelected(true)) {
        serialNumberRefused(job_, 0);
        noteFailureClass(op_, FailureClass::Chip);
        showFail(op_, *failure);
    } else {
        // The counters move (and are saved) before the box, which may stay up a while.
        const std::string text = ispSuccessText(job_);
        noteIspSerialNumber();
        job_.countChips();
        if (job_.serialEnabled)
            serialNumberUsed(job_, 0);
        showPass(op_, text, job_.productionMode);
        loader_.end();
    }
    settleSerialNumbers(job_);
    link_.close();
}

void UartIsp::ispProductionLoop() {
    setBlockUnits(job_.imageAprom);
    setBlockUnits(job_.imageDataFlash);
    for (;;) {
        noteNextChip(op_);
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
            if (!loader_.sendByte(isp::kProbe)) {
                if (!reopenAfterFailedProbe()) {
                    showFail(op_, kNotReopened);
                    return;
                }
                continue;
            }
            std::uint8_t reply = 0;
            if (loader_.receiveByte(reply))
                rate = baudRateOfCode(reply);
        }
        op_.setStatus(kDetectOk);
        if (!reopenAtRate(*rate)) {
            showFail(op_, kBaudError);
            return;
        }
        savePortFile();
        // On a line, a chip whose number cannot be had is not programmed, and the loop
        // stops: the line decides when the station goes on.
        if (job_.serialEnabled && !drawSerialNumber(job_, op_, 0))
            break;
        if (const auto failure = writeSelected(false)) {
            serialNumberRefused(job_, 0);
            noteFailureClass(op_, FailureClass::Chip);
            showFail(op_, *failure);
            continue;
        }
        const std::string text = ispSuccessText(job_);
        noteIspSerialNumber();
        job_.countChips();
        if (job_.serialEnabled)
            serialNumberUsed(job_, 0);
        showPass(op_, text, true);
    }
    link_.close();
    resetProgress(op_);
}

}  // namespace tarnel

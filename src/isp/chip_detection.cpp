// Chip detection: the chip is reset by DTR pulses and probed at 9600 baud until its boot
// loader answers with the code of the rate it will use; the port is then reopened at that rate.

#include <algorithm>

#include "isp/isp_messages.h"
#include "isp/uart_isp.h"

namespace tarnel {

using namespace isp;

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
        if (!loader_.sendByte(isp::kProbe)) {
            if (!reopenAfterFailedProbe()) {
                showFail(op_, kNotReopened);
                return false;
            }
        } else {
            std::uint8_t reply = 0;
            if (loader_.receiveByte(reply) && (rate = baudRateOfCode(reply))) {
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

}  // namespace tarnel

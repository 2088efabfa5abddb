#include "app/result_panel.h"

#include <cstdio>

namespace tarnel {

namespace {

// The idle text every reset of the progress bar writes; it is no step.
constexpr std::string_view kReadyStatus = "Ready...";

}  // namespace

std::string_view panelStateWord(PanelState state) {
    switch (state) {
        case PanelState::Ready:
            return "Ready";
        case PanelState::Running:
            return "RUNNING";
        case PanelState::Pass:
            return "PASS";
        case PanelState::Fail:
            return "FAIL";
        case PanelState::Warning:
            return "WARNING";
    }
    return "Ready";
}

std::string ResultPanel::stateLine() const {
    if (state_ == PanelState::Running)
        return step_.empty() ? command_ : command_ + ": " + step_;
    if (!failedStep_.empty() && (state_ == PanelState::Fail || state_ == PanelState::Warning))
        return "at: " + failedStep_;
    return {};
}

std::string ResultPanel::totalsText() const {
    std::string text =
        "Passed " + std::to_string(passed_) + " \u00b7 Failed " + std::to_string(failed_);
    if (const std::uint32_t total = passed_ + failed_; total > 0) {
        char yield[32];
        std::snprintf(yield, sizeof yield, " \u00b7 Yield %.1f %%", 100.0 * passed_ / total);
        text += yield;
    }
    return text;
}

void ResultPanel::resetTotals() {
    passed_ = 0;
    failed_ = 0;
}

void ResultPanel::commandStarted(std::string_view command) {
    state_ = PanelState::Running;
    command_ = command;
    step_.clear();
    lastStep_.clear();
    failedStep_.clear();
}

void ResultPanel::commandEnded() {
    if (state_ == PanelState::Running)
        state_ = PanelState::Ready;
    step_.clear();
}

void ResultPanel::statusShown(std::string_view text) {
    if (text == kReadyStatus || text.empty())
        return;
    lastStep_ = text;
    if (state_ == PanelState::Running)
        step_ = text;
}

void ResultPanel::resultShown(PanelState result, std::string_view text) {
    state_ = result;
    resultText_ = text;
    detail_ = std::move(pendingDetail_);
    pendingDetail_.clear();
    failedStep_ = result == PanelState::Pass ? std::string() : lastStep_;
    step_.clear();
}

void ResultPanel::chipOutcome(int socket, bool passed, bool counted, std::string_view serial,
                              std::string_view failure) {
    if (counted)
        ++(passed ? passed_ : failed_);
    if (socket < 1 || socket > static_cast<int>(kGangSockets))
        return;
    SocketTile& tile = sockets_[static_cast<std::size_t>(socket - 1)];
    tile.state = passed ? PanelState::Pass : PanelState::Fail;
    tile.serial = serial;
    tile.failure = passed ? std::string() : std::string(failure);
}

}  // namespace tarnel

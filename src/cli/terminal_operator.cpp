#include "cli/terminal_operator.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace tarnel::cli {

namespace {

constexpr int kBarWidth = 40;
// Status text that only means "idle"; the terminal has no status line to put it on.
constexpr std::string_view kIdleStatus = "Ready...";

}  // namespace

TerminalOperator::TerminalOperator(std::ostream& out, std::ostream& err, bool progressBar)
    : out_(out), err_(err), progressBar_(progressBar) {}

void TerminalOperator::setStatus(std::string_view text) {
    if (text == kIdleStatus)
        return;
    endBar();
    out_ << text << std::endl;
}

void TerminalOperator::setProgressRange(int maximum) {
    maximum_ = std::max(maximum, 0);
}

void TerminalOperator::setProgressStep(int step) {
    step_ = step;
}

void TerminalOperator::setProgressPosition(int position) {
    position_ = position;
    if (position_ == 0)
        endBar();
}

void TerminalOperator::stepProgress() {
    position_ = std::min(position_ + step_, maximum_);
    drawBar();
}

void TerminalOperator::setPortText(std::string_view) {}

void TerminalOperator::setProgrammerTypeLabel(std::string_view) {}

void TerminalOperator::beep(BeepKind) {}

void TerminalOperator::showResultBox(ResultKind kind, std::string_view text, bool) {
    endBar();
    if (kind == ResultKind::Pass) {
        out_ << "PASS: " << text << std::endl;
    } else {
        failed_ = true;
        err_ << "FAIL: " << text << std::endl;
    }
}

void TerminalOperator::showMessageBox(std::string_view caption, std::string_view text, BoxIcon) {
    endBar();
    if (caption == "WARNING")
        failed_ = true;
    err_ << caption << ": " << text << std::endl;
}

void TerminalOperator::drawBar() {
    if (!progressBar_ || maximum_ <= 0)
        return;
    const int filled = position_ * kBarWidth / maximum_;
    err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << position_
         << "/" << maximum_ << std::flush;
    barShown_ = true;
}

void TerminalOperator::endBar() {
    if (!barShown_)
        return;
    err_ << "\n";
    barShown_ = false;
}

}  // namespace tarnel::cli

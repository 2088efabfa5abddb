#include "testkit/recording_operator.h"

#include <algorithm>

namespace tarnel {

void RecordingOperator::record(std::string line) {
    events_.push_back(std::move(line));
}

void RecordingOperator::setStatus(std::string_view text) {
    std::lock_guard lock(mutex_);
    status_ = text;
    record("status: " + std::string(text));
}

void RecordingOperator::setProgressRange(int maximum) {
    std::lock_guard lock(mutex_);
    maximum_ = maximum;
    record("progress range " + std::to_string(maximum));
}

void RecordingOperator::setProgressStep(int step) {
    std::lock_guard lock(mutex_);
    step_ = step;
    record("progress step " + std::to_string(step));
}

void RecordingOperator::setProgressPosition(int position) {
    std::lock_guard lock(mutex_);
    position_ = position;
    record("progress pos " + std::to_string(position));
}

void RecordingOperator::stepProgress() {
    std::lock_guard lock(mutex_);
    position_ += step_;
    ++steps_;
    record("progress stepit");
}

void RecordingOperator::setPortText(std::string_view text) {
    std::lock_guard lock(mutex_);
    port_ = text;
    record("port: " + std::string(text));
}

void RecordingOperator::setProgrammerTypeLabel(std::string_view text) {
    std::lock_guard lock(mutex_);
    typeLabel_ = text;
    record("prog type: " + std::string(text));
}

void RecordingOperator::beep(BeepKind kind) {
    std::lock_guard lock(mutex_);
    record(kind == BeepKind::Error ? "beep error" : "beep");
}

void RecordingOperator::setDetail(std::string_view detail) {
    std::lock_guard lock(mutex_);
    details_.emplace_back(detail);
    record("detail: " + std::string(detail));
}

std::vector<std::string> RecordingOperator::details() const {
    std::lock_guard lock(mutex_);
    return details_;
}

void RecordingOperator::showResultBox(ResultKind kind, std::string_view text, bool autoClose) {
    std::lock_guard lock(mutex_);
    std::string line = (kind == ResultKind::Pass ? "PASS: " : "FAIL: ") + std::string(text);
    boxes_.push_back(line);
    record(line + (autoClose ? " (auto-close)" : ""));
}

void RecordingOperator::showMessageBox(std::string_view caption, std::string_view text, BoxIcon) {
    std::lock_guard lock(mutex_);
    std::string line = std::string(caption) + ": " + std::string(text);
    boxes_.push_back(line);
    record("box " + line);
}

int RecordingOperator::chooseSocket(int current) {
    std::lock_guard lock(mutex_);
    const int chosen = socketAnswer_ >= 1 && socketAnswer_ <= 4 ? socketAnswer_ : current;
    record("socket choice " + std::to_string(chosen));
    return chosen;
}

void RecordingOperator::showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) {
    std::lock_guard lock(mutex_);
    readBacks_.push_back(readBack);
    record("read-back viewer " + std::to_string(partIndex));
}

void RecordingOperator::showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                                       const std::array<std::uint8_t, 8>& bytes) {
    std::lock_guard lock(mutex_);
    configViews_.push_back({layout, partIndex, bytes});
    record("config view " + std::string(layoutName(layout)) + " " + std::to_string(partIndex));
}

void RecordingOperator::setSocketAnswer(int socket) {
    std::lock_guard lock(mutex_);
    socketAnswer_ = socket;
}

std::vector<ReadBackState> RecordingOperator::readBacks() const {
    std::lock_guard lock(mutex_);
    return readBacks_;
}

std::vector<RecordingOperator::ConfigView> RecordingOperator::configViews() const {
    std::lock_guard lock(mutex_);
    return configViews_;
}

std::vector<std::string> RecordingOperator::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

int RecordingOperator::eventCount(const std::string& event) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
}

std::vector<std::string> RecordingOperator::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::string RecordingOperator::lastStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::string RecordingOperator::portText() const {
    std::lock_guard lock(mutex_);
    return port_;
}

std::string RecordingOperator::programmerTypeLabel() const {
    std::lock_guard lock(mutex_);
    return typeLabel_;
}

int RecordingOperator::progressPosition() const {
    std::lock_guard lock(mutex_);
    return position_;
}

int RecordingOperator::progressMaximum() const {
    std::lock_guard lock(mutex_);
    return maximum_;
}

int RecordingOperator::stepCount() const {
    std::lock_guard lock(mutex_);
    return steps_;
}

void RecordingOperator::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    boxes_.clear();
    steps_ = 0;
}

}  // namespace tarnel

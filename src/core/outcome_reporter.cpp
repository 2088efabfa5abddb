#include "core/outcome_reporter.h"

#include <algorithm>
#include <ctime>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tarnel {

OutcomeReporter::OutcomeReporter(Operator& front, const ProgrammingJob& job, Clock& clock)
    : front_(front), job_(job), clock_(clock) {}

void OutcomeReporter::beginCommand(ChipOperation operation) {
    std::lock_guard lock(mutex_);
    inCommand_ = true;
    operation_ = operation;
    startMs_ = clock_.nowMs();
    notes_ = {};
    stretchClass_.reset();
    provisional_ = false;
    chipSettled_ = false;
    result_ = {};
    result_.started = true;
}

void OutcomeReporter::endCommand() {
    std::lock_guard lock(mutex_);
    inCommand_ = false;
    notes_ = {};
    stretchClass_.reset();
}

CommandResult OutcomeReporter::lastResult() const {
    std::lock_guard lock(mutex_);
    return result_;
}

void OutcomeReporter::noteFailureClass(FailureClass failureClass) {
    std::lock_guard lock(mutex_);
    notes_.failureClass = failureClass;
}

void OutcomeReporter::noteNotice() {
    std::lock_guard lock(mutex_);
    notes_.notice = true;
}

void OutcomeReporter::noteResult() {
    std::lock_guard lock(mutex_);
    notes_.result = true;
}

void OutcomeReporter::noteSerialNumber(std::string serialNumber) {
    std::lock_guard lock(mutex_);
    notes_.serialNumber = std::move(serialNumber);
}

void OutcomeReporter::noteSockets(const std::array<SocketNote, 4>& sockets) {
    std::lock_guard lock(mutex_);
    notes_.sockets = sockets;
}

void OutcomeReporter::setStretchClass(std::optional<FailureClass> failureClass) {
    std::lock_guard lock(mutex_);
    stretchClass_ = failureClass;
}

void OutcomeReporter::setProvisional(bool provisional) {
    std::lock_guard lock(mutex_);
    provisional_ = provisional;
}

void OutcomeReporter::noteNextChip() {
    std::lock_guard lock(mutex_);
    chipSettled_ = false;
}

void OutcomeReporter::showResultBox(ResultKind kind, std::string_view text, bool autoClose) {
    if (kind == ResultKind::Pass)
        publish(Outcome::Pass, text, FailureClass::None);
    else
        publish(Outcome::Fail, text, FailureClass::Chip);
    front_.showResultBox(kind, text, autoClose);
}

void OutcomeReporter::showMessageBox(std::string_view caption, std::string_view text,
                                     BoxIcon icon) {
    if (caption == "WARNING") {
        publish(Outcome::Warning, text, FailureClass::Operator);
    } else if (caption == "ERROR") {
        publish(Outcome::Fail, text, FailureClass::Usage);
    } else {
        bool result = false;
        bool failure = false;
        {
            std::lock_guard lock(mutex_);
            result = notes_.result;
            failure = notes_.failureClass.has_value();
        }
        if (result)
            publish(Outcome::Pass, {}, FailureClass::None);
        else if (failure)
            publish(Outcome::Fail, text, FailureClass::Chip);
    }
    front_.showMessageBox(caption, text, icon);
}

void OutcomeReporter::showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) {
    bool reading = false;
    {
        std::lock_guard lock(mutex_);
        reading = inCommand_ && operation_ == ChipOperation::Read;
    }
    if (reading)
        publish(Outcome::Pass, {}, FailureClass::None);
    front_.showReadBack(readBack, partIndex);
}

ChipOutcome OutcomeReporter::baseOutcome(const LinkContext& link) const {
    ChipOutcome outcome;
    outcome.operation = operation_;
    outcome.socket = link.socket;
    outcome.station = link.station;
    outcome.port = link.port;
    outcome.programmerKind = link.programmerKind;
    outcome.firmwareVersion = link.firmwareVersion;
    outcome.partNumber = std::string(job_.part().partNumber);
    outcome.projectFile = job_.projectFileName;
    if (job_.chipCounterEnabled)
        outcome.chipCounter = job_.chipCounter;
    // Images only for the operations that program or compare them.
    const bool usesImages = operation_ == ChipOperation::Update ||
                            operation_ == ChipOperation::Verify ||
                            operation_ == ChipOperation::Download;
    const struct {
        const char* region;
        bool selected;
        const ImageBuffer& image;
    } regions[] = {{"APROM", job_.updateAprom, job_.imageAprom},
                   {"DataFlash", job_.updateDataFlash, job_.imageDataFlash},
                   {"LDROM", job_.updateLdrom, job_.imageLdrom}};
    for (const auto& r : regions) {
        if (usesImages && r.selected && r.image.loaded && !r.image.rejected)
            outcome.images.push_back(
                {r.region, r.image.shownName, r.image.length, r.image.checksum});
    }
    outcome.time = localTimeIso8601();
    outcome.hostName = hostName();
    outcome.durationMs = static_cast<std::int64_t>(clock_.nowMs() - startMs_);
    return outcome;
}

void OutcomeReporter::publish(Outcome outcome, std::string_view text, FailureClass fallback) {
    // The link context is asked for outside the lock: it reads the session, not this object.
    const LinkContext link = linkContext_ ? linkContext_() : LinkContext{};
    std::vector<ChipOutcome> outcomes;
    {
        std::lock_guard lock(mutex_);
        Notes notes = std::exchange(notes_, {});
        if (!inCommand_ || notes.notice || provisional_ ||
            (chipSettled_ && outcome != Outcome::Pass))
            return;
        chipSettled_ = true;
        FailureClass failureClass = FailureClass::None;
        if (outcome != Outcome::Pass) {
            if (notes.failureClass)
                failureClass = *notes.failureClass;
            else if (stretchClass_)
                failureClass = *stretchClass_;
            else if (outcome == Outcome::Fail && link.linkDown && fallback == FailureClass::Chip)
                failureClass = FailureClass::Link;
            else
                failureClass = fallback;
        }
        ChipOutcome base = baseOutcome(link);
        auto add = [&](int socket, bool passed, std::string serialNumber) {
            ChipOutcome each = base;
            each.socket = socket;
            each.outcome = passed ? Outcome::Pass : outcome;
            each.failureClass = passed ? FailureClass::None : failureClass;
            if (!passed)
                each.failureText = std::string(text);
            each.serialNumber = std::move(serialNumber);
            outcomes.push_back(std::move(each));
        };
        if (notes.sockets) {
            for (int socket = 1; socket <= 4; ++socket) {
                const SocketNote& note = (*notes.sockets)[socket - 1];
                add(socket, note.passed || outcome == Outcome::Pass, note.serialNumber);
            }
        } else {
            add(link.socket, outcome == Outcome::Pass, notes.serialNumber);
        }
        for (const ChipOutcome& each : outcomes) {
            ++result_.outcomes;
            if (each.outcome == Outcome::Pass) {
                ++result_.passes;
                if (!each.serialNumber.empty())
                    result_.serialNumbers.push_back(each.serialNumber);
            }
            result_.failureClass = std::max(result_.failureClass, each.failureClass);
        }
    }
    for (const ChipOutcome& each : outcomes)
        listeners_.chipOutcome(each);
}

namespace {

OutcomeReporter* reporterOf(Operator& op) {
    return dynamic_cast<OutcomeReporter*>(&op);
}

}  // namespace

void noteFailureClass(Operator& op, FailureClass failureClass) {
    if (auto* reporter = reporterOf(op))
        reporter->noteFailureClass(failureClass);
}

void noteNotice(Operator& op) {
    if (auto* reporter = reporterOf(op))
        reporter->noteNotice();
}

void noteResult(Operator& op) {
    if (auto* reporter = reporterOf(op))
        reporter->noteResult();
}

void noteSerialNumber(Operator& op, std::string serialNumber) {
    if (auto* reporter = reporterOf(op))
        reporter->noteSerialNumber(std::move(serialNumber));
}

void noteSockets(Operator& op, const std::array<SocketNote, 4>& sockets) {
    if (auto* reporter = reporterOf(op))
        reporter->noteSockets(sockets);
}

void noteProvisional(Operator& op, bool provisional) {
    if (auto* reporter = reporterOf(op))
        reporter->setProvisional(provisional);
}

void noteNextChip(Operator& op) {
    if (auto* reporter = reporterOf(op))
        reporter->noteNextChip();
}

std::string localTimeIso8601() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    // strftime writes the offset as +hhmm; ISO 8601's extended form wants +hh:mm.
    if (n < 5)
        return std::string(text, n);
    return std::string(text, n - 2) + ':' + std::string(text + n - 2, 2);
}

std::string hostName() {
#ifdef _WIN32
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size))
        return {};
    return std::string(name, size);
#else
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
#endif
}

}  // namespace tarnel

#pragma once
// The seam between the operations and everyone who wants to know what became of each chip.
//
// The reporter stands between the operations and the front's Operator: every call passes
// through unchanged, and each result box of a command is turned into chip outcomes and
// handed to the listeners first, before the front shows it. The operations therefore report
// a result simply by showing it; where the box alone does not say enough (which gang socket
// failed, the S/N written, why it failed, a box that is only a notice) they add a note just
// before the box (the note* functions below).
//
// A result of the class a box falls into:
//   PASS box                  -> pass
//   FAIL box                  -> fail: the noted class, else Link when the link is down,
//                                else Chip
//   "WARNING" box             -> warning: the noted class, else Operator
//   "ERROR" box               -> fail, Usage (invalid field input)
//   read-back viewer (Read)   -> pass
// Other boxes ("<Debug>", plain captions) are results only when noted as one: a pass by
// noteResult, a failure by a noted class.
//
// A chip has one outcome per command: once it has one, the failure boxes that follow in the
// same command (a failed step, then the step that gave up because of it) are its
// consequences and are not published again. A command that serves chip after chip (the
// production loop) notes each next chip.

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/chip_outcome.h"
#include "core/clock.h"
#include "core/operator.h"
#include "core/programming_job.h"

namespace tarnel {

// What the layers above the core know about the link when a result is reached.
struct LinkContext {
    std::string station;  // on a line, the station's name
    std::string port;
    std::string programmerKind;
    std::string firmwareVersion;
    int socket = 0;         // the gang socket being served, 0 outside gang work
    bool linkDown = false;  // the last exchange failed, or no programmer was found
};

// The result of one command as a whole: for the exit status and the final JSON event.
struct CommandResult {
    bool started = false;
    int outcomes = 0;  // chip outcomes published
    int passes = 0;
    // The highest class among the outcomes (None when all passed).
    FailureClass failureClass = FailureClass::None;
    std::vector<std::string> serialNumbers;  // S/Ns written to chips that passed
};

// One gang socket's share of a gang result box.
struct SocketNote {
    bool passed = false;
    std::string serialNumber;
};

class OutcomeReporter : public Operator {
  public:
    OutcomeReporter(Operator& front, const ProgrammingJob& job, Clock& clock);

    OutcomeFanOut& listeners() { return listeners_; }
    void setLinkContext(std::function<LinkContext()> source) { linkContext_ = std::move(source); }

    // A command starts: boxes from now on are its results.
    void beginCommand(ChipOperation operation);
    // The command has ended (whether or not its worker started); later boxes are not results.
    void endCommand();
    // The last command's result; safe from any thread.
    CommandResult lastResult() const;

    // Notes for the next box of the running command.
    void noteFailureClass(FailureClass failureClass);
    void noteNotice();  // the next box is information, the command goes on
    void noteResult();  // the next box, whatever its caption, is the command's pass
    void noteSerialNumber(std::string serialNumber);
    void noteSockets(const std::array<SocketNote, 4>& sockets);
    // Every failing box until this is cleared (nullopt) falls into this class, unless a note
    // says otherwise: for a stretch of work whose failures are all of one kind.
    void setStretchClass(std::optional<FailureClass> failureClass);
    // While on, boxes are not results: a step whose failure a retry may still make good.
    void setProvisional(bool provisional);
    // The boxes from now on are about the next chip.
    void noteNextChip();

    // Operator: forwarded, with the results published first.
    void setStatus(std::string_view text) override { front_.setStatus(text); }
    void setProgressRange(int maximum) override { front_.setProgressRange(maximum); }
    void setProgressStep(int step) override { front_.setProgressStep(step); }
    void setProgressPosition(int position) override { front_.setProgressPosition(position); }
    void stepProgress() override { front_.stepProgress(); }
    void setPortText(std::string_view text) override { front_.setPortText(text); }
    void setProgrammerTypeLabel(std::string_view text) override {
        front_.setProgrammerTypeLabel(text);
    }
    void beep(BeepKind kind) override { front_.beep(kind); }
    void setDetail(std::string_view detail) override { front_.setDetail(detail); }
    void showResultBox(ResultKind kind, std::string_view text, bool autoClose) override;
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) override;
    int chooseSocket(int current) override { return front_.chooseSocket(current); }
    void showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) override;
    void showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                        const std::array<std::uint8_t, 8>& bytes) override {
        front_.showConfigView(layout, partIndex, bytes);
    }

  private:
    struct Notes {
        std::optional<FailureClass> failureClass;
        bool notice = false;
        bool result = false;
        std::string serialNumber;
        std::optional<std::array<SocketNote, 4>> sockets;
    };

    // Publishes the outcomes of a result with this text; `fallback` is the class of a
    // failure that carries no note.
    void publish(Outcome outcome, std::string_view text, FailureClass fallback);
    ChipOutcome baseOutcome(const LinkContext& link) const;

    Operator& front_;
    const ProgrammingJob& job_;
    Clock& clock_;
    OutcomeFanOut listeners_;
    std::function<LinkContext()> linkContext_;

    mutable std::mutex mutex_;
    bool inCommand_ = false;
    ChipOperation operation_ = ChipOperation::Update;
    std::uint64_t startMs_ = 0;
    Notes notes_;
    std::optional<FailureClass> stretchClass_;
    bool provisional_ = false;
    bool chipSettled_ = false;  // the current chip has its outcome
    CommandResult result_;
};

// The notes as the operations add them: they reach the reporter when the operation's
// Operator is one, and do nothing otherwise (an operation run bare, as in protocol tests).
void noteFailureClass(Operator& op, FailureClass failureClass);
void noteNotice(Operator& op);
void noteResult(Operator& op);
void noteSerialNumber(Operator& op, std::string serialNumber);
void noteSockets(Operator& op, const std::array<SocketNote, 4>& sockets);
void noteProvisional(Operator& op, bool provisional);
void noteNextChip(Operator& op);

// The wall-clock time now, ISO 8601 with the local offset ("2026-12-06T19:08:29+01:00").
std::string localTimeIso8601();
// This machine's name; empty when it cannot be had.
std::string hostName();

}  // namespace tarnel

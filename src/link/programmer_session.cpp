#include "link/programmer_session.h"

#include <cstdio>
#include <optional>
#include <string>

#include "core/outcome_reporter.h"

namespace tarnel {

namespace {

constexpr std::string_view kSendError = "Send data error !";
constexpr std::string_view kReceiveError = "Receive data error !";
constexpr std::string_view kNoResponse = "No response from Programmer !";
constexpr std::string_view kResponseError = "Response error !";
constexpr std::string_view kNoGangResponse = "No response from Gang Programmer !";
constexpr std::string_view kGangError = "Gang Programmer error !";
constexpr std::string_view kProgrammerNotFound = "Programmer is not found !";
constexpr std::string_view kGangNotFound = "Gang Programmer is not found !";
constexpr std::string_view kSelectGangMode = "Please select 'Gang' mode for Programmer Type !";
constexpr std::string_view kConfigureError = "Configure programmer error !";
constexpr std::string_view kUnknownPort = "COM???";

}  // namespace

ProgrammerSession::ProgrammerSession(ProgrammingJob& job, ProgrammerLink& link, Operator& op,
                                     Clock& clock)
    : job_(job), link_(link), op_(op), clock_(clock) {}

// ---- Link wrappers --------------------------------------------------------------------

bool ProgrammerSession::sendCommandByte(std::uint8_t value) {
    if (finish(link_.writeByte(value)))
        return true;
    showFail(op_, kSendError);
    return false;
}

bool ProgrammerSession::sendBlock(const std::uint8_t* data, std::uint32_t count) {
    if (finish(link_.writeBytes(data, count)))
        return true;
    showFail(op_, kSendError);
    return false;
}

bool ProgrammerSession::receiveByte(std::uint8_t& place) {
    std::uint8_t value = 0;
    const bool ok = link_.readByte(value);
    return received(ok, value, place);
}

bool ProgrammerSession::receiveByte(TickRun& run, std::uint8_t& place) {
    std::uint8_t value = 0;
    const bool ok = run.next(link_, clock_, value);
    return received(ok, value, place);
}

bool ProgrammerSession::received(bool ok, std::uint8_t value, std::uint8_t& place) {
    if (finish(ok)) {
        place = value;
        return true;
    }
    showFail(op_, kReceiveError);
    return false;
}

bool ProgrammerSession::receiveBlock(std::uint8_t* buffer, std::uint32_t count) {
    if (finish(link_.readBytes(buffer, count)))
        return true;
    showFail(op_, kReceiveError);
    return false;
}

bool ProgrammerSession::expectAck() {
    std::uint8_t reply = 0;
    const bool ok = link_.readByte(reply);
    return acknowledged(ok, reply);
}

bool ProgrammerSession::expectAck(TickRun& run) {
    std::uint8_t reply = 0;
    const bool ok = run.next(link_, clock_, reply);
    return acknowledged(ok, reply);
}

bool ProgrammerSession::acknowledged(bool ok, std::uint8_t reply) {
    if (!finish(ok)) {
        showFail(op_, kNoResponse);
        return false;
    }
    if (reply == kSingleAck)
        return true;
    finish(false);
    showFail(op_, kResponseError);
    return false;
}

bool ProgrammerSession::expectGangAck() {
    std::uint8_t reply = 0;
    if (!finish(link_.readByte(reply))) {
        showFail(op_, kNoGangResponse);
        return false;
    }
    if (reply == kGangAck)
        return true;
    finish(false);
    showFail(op_, kGangError);
    return false;
}

bool ProgrammerSession::receiveRaw(std::uint8_t& place) {
    return finish(link_.readByte(place));
}

bool ProgrammerSession::sendPaced(std::initializer_list<std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        if (!sendCommandByte(byte))
            return false;
        pause(kBytePauseMs);
    }
    return true;
}

bool ProgrammerSession::expectAck(const Timeouts& wait) {
    link_.setTimeouts(wait);
    const bool ok = expectAck();
    link_.setTimeouts(kStandardTimeouts);
    return ok;
}

bool ProgrammerSession::expectGangAck(const Timeouts& wait) {
    link_.setTimeouts(wait);
    const bool ok = expectGangAck();
    link_.setTimeouts(kStandardTimeouts);
    return ok;
}

// ---- Search ---------------------------------------------------------------------------

ProgrammerSession::Connect ProgrammerSession::connect() {
    link_.close();
    if (!link_.open(job_.comPortText(), kProgrammerBaudRate))
        return Connect::NotOpened;
    // After a reply cut short or a failed exchange, the tail of that reply may still be
    // arriving after the reopen: let it pass before asking. A line that never falls silent
    // gets asked anyway and fails on its answer.
    if (lineMayHoldReply_) {
        link_.drainUntilQuiet(kQuietBeforeIdentify);
        lineMayHoldReply_ = false;
    }
    lastCommand_ = command::kIdentify;
    if (!sendCommandByte(command::kIdentify))
        return Connect::NoAnswer;
    if (!receiveByte(programmerKind_))
        return Connect::NoAnswer;
    op_.setPortText(link_.portText(job_.comPortText()));
    return Connect::Done;
}

std::string ProgrammerSession::notFoundDetail(bool scanned) {
    const std::string port = link_.portText(job_.comPortText());
    std::string text =
        port.empty() ? std::string("No port remembered") : "Port " + port + " gave no answer";
    if (scanned)
        text += "; no other serial port answered either";
    return text + ". Check the cable and the programmer's power.";
}

bool ProgrammerSession::scan() {
    op_.setPortText(kUnknownPort);
    std::optional<std::string> found = link_.findProgrammerPort();
    if (!found) {
        pause(kRetryAfterScanMs);
        found = link_.findProgrammerPort();
        if (!found) {
            showFail(op_, job_.gangMode ? kGangNotFound : kProgrammerNotFound,
                     notFoundDetail(true));
            return false;
        }
    }
    job_.setComPortName(*found);
    op_.setPortText(link_.portText(job_.comPortText()));
    return true;
}

bool ProgrammerSession::findAndConnect(std::string_view notFoundText) {
    notFound_ = false;
    // With a scan to follow, a failure of the first connect is not yet the command's result.
    noteProvisional(op_, scanAllowed_);
    const Connect first = connect();
    noteProvisional(op_, false);
    if (first == Connect::Done)
        return true;
    if (!scanAllowed_) {
        notFound_ = true;
        showFail(op_, notFoundText, notFoundDetail(false));
        return false;
    }
    pause(kRetryAfterConnectMs);
    if (!scan()) {
        notFound_ = true;
        return false;
    }
    pause(kRetryAfterScanMs);
    switch (connect()) {
        case Connect::Done:
            if (first == Connect::NoAnswer)
                ++recoveredFailures_;  // its wrapper's box
            return true;
        case Connect::NoAnswer:
            return false;  // the wrapper has said why
        case Connect::NotOpened:
            // The port the scan just found cannot be opened again: say so rather than stop
            // without a word.
            notFound_ = true;
            showFail(op_, notFoundText, notFoundDetail(false));
            return false;
    }
    return false;
}

bool ProgrammerSession::searchProgrammer() {
    if (!job_.gangMode) {
        op_.setStatus("Search Programmer...");
    } else if (socketNumber_ >= 1 && socketNumber_ <= 4) {
        op_.setStatus("Search Programmer <" + std::to_string(socketNumber_) + " of 4>...");
    }
    if (!findAndConnect(kProgrammerNotFound))
        return false;

    firmwareVariant_ = FirmwareVariant::None;
    if (programmerKind_ == kGangProgrammerKind) {
        showFail(op_, kSelectGangMode);
        return false;
    }
    const ProgrammerKindRow* row = rowOfKind(programmerKind_);
    if (row == nullptr) {
        char kind[8];
        std::snprintf(kind, sizeof kind, "0x%02X", programmerKind_);
        showFail(op_, kProgrammerNotFound,
                 "Port " + link_.portText(job_.comPortText()) + " answered as an unknown kind (" +
                     kind + ").");
        return false;
    }
    firmwareVariant_ = row->variant;
    showProgrammerType();
    if (identifyOnly_)
        return true;

    const VariantDecision decision =
        checkVariant(firmwareVariant_, categoryOfPart(job_.partIndex, job_.part()));
    if (decision.action == VariantDecision::Action::Refuse) {
        showFail(op_, decision.refusal);
        return false;
    }
    const bool moved = decision.target != firmwareVariant_;
    firmwareVariant_ = decision.target;
    if (moved || job_.forceFirmwareUpdate) {
        if (!updateFirmware()) {
            showFail(op_, kConfigureError);
            return false;
        }
    }
    return true;
}

bool ProgrammerSession::searchGangProgrammer() {
    op_.setStatus("Search Gang Programmer...");
    if (!findAndConnect(kGangNotFound))
        return false;
    if (programmerKind_ == kGangProgrammerKind)
        return true;
    showFail(op_, kGangNotFound,
             "Port " + link_.portText(job_.comPortText()) +
                 " answered as a single programmer; connect the gang programmer or untick "
                 "\"Gang\".");
    return false;
}

// ---- Version --------------------------------------------------------------------------

namespace {

// The exchange shared by both programmers: command, pause, acknowledge, two version bytes.
// A byte that does not arrive keeps its previous value.
template <typename ExpectAck>
bool queryVersion(ProgrammerSession& session, std::uint16_t& version, ExpectAck expectAck) {
    session.setLastCommand(command::kFirmwareVersion);
    if (!session.sendCommandByte(command::kFirmwareVersion))
        return false;
    session.pause(kBytePauseMs);
    if (!expectAck())
        return false;
    std::uint8_t high = static_cast<std::uint8_t>(version >> 8);
    std::uint8_t low = static_cast<std::uint8_t>(version & 0xFF);
    const bool ok = session.receiveByte(high) && session.receiveByte(low);
    version = static_cast<std::uint16_t>(high << 8 | low);
    return ok;
}

}  // namespace

bool ProgrammerSession::readFirmwareVersion() {
    const bool ok = queryVersion(*this, firmwareVersion_, [this] { return expectAck(); });
    fwBelow0490_ = firmwareVersion_ < 0x0490;
    fwBelow0501_ = firmwareVersion_ < 0x0501;
    fwBelow0505_ = firmwareVersion_ < 0x0505;
    fwBelow0524_ = firmwareVersion_ < 0x0524;
    fwBelow0601_ = firmwareVersion_ < 0x0601;
    fwBelow0614_ = firmwareVersion_ < 0x0614;
    return ok;
}

bool ProgrammerSession::readGangFirmwareVersion() {
    const bool ok = queryVersion(*this, firmwareVersion_, [this] { return expectGangAck(); });
    gangFwBelow0119_ = firmwareVersion_ < 0x0119;
    gangFwBelow0145_ = firmwareVersion_ < 0x0145;
    gangFwBelow0560_ = firmwareVersion_ < 0x0560;
    fwBelow0601_ = firmwareVersion_ < 0x0601;
    return ok;
}

void ProgrammerSession::showProgrammerType() {
    if (const ProgrammerKindRow* row = rowOfVariant(firmwareVariant_))
        op_.setProgrammerTypeLabel(row->label);
}

}  // namespace tarnel

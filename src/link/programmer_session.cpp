#include "link/programmer_session.h"

#include <cstdio>
#include <string>

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
    if (finish(link_.readByte(value))) {
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
    if (!finish(link_.readByte(replyByte))) {
        showFail(op_, kNoResponse);
        return false;
    }
    if (replyByte == kSingleAck)
        return true;
    finish(false);
    showFail(op_, kResponseError);
    return false;
}

bool ProgrammerSession::expectGangAck() {
    if (!finish(link_.readByte(replyByte))) {
        showFail(op_, kNoGangResponse);
        return false;
    }
    if (replyByte == kGangAck)
        return true;
    finish(false);
    showFail(op_, kGangError);
    return false;
}

bool ProgrammerSession::receiveRaw() {
    return finish(link_.readByte(replyByte));
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
    if (!link_.openRemembered())
        return Connect::NotOpened;
    // After a reply cut short or a failed exchange, the tail of that reply may still be
    // arriving after the reopen: let it pass before asking. A line that never falls silent
    // gets asked anyway and fails on its answer.
    if (lineMayHoldReply_) {
        link_.drainUntilQuiet(kQuietBeforeIdentify);
        lineMayHoldReply_ = false;
    }
    lastCommand = command::kIdentify;
    if (!sendCommandByte(command::kIdentify))
        return Connect::NoAnswer;
    if (!receiveByte(replyByte))
        return Connect::NoAnswer;
    programmerKind = replyByte;
    op_.setPortText(link_.rememberedPortText());
    return Connect::Done;
}

std::string ProgrammerSession::notFoundDetail(bool scanned) {
    const std::string port = link_.rememberedPortText();
    std::string text =
        port.empty() ? std::string("No port remembered") : "Port " + port + " gave no answer";
    if (scanned)
        text += "; no other serial port answered either";
    return text + ". Check the cable and the programmer's power.";
}

bool ProgrammerSession::scan() {
    op_.setPortText(kUnknownPort);
    if (!link_.findProgrammerPort()) {
        pause(kRetryAfterScanMs);
        if (!link_.findProgrammerPort()) {
            showFail(op_, job_.gangMode ? kGangNotFound : kProgrammerNotFound,
                     notFoundDetail(true));
            return false;
        }
    }
    op_.setPortText(link_.rememberedPortText());
    return true;
}

bool ProgrammerSession::findAndConnect(std::string_view notFoundText) {
    notFound = false;
    const Connect first = connect();
    if (first == Connect::Done)
        return true;
    if (!scanAllowed) {
        notFound = true;
        showFail(op_, notFoundText, notFoundDetail(false));
        return false;
    }
    pause(kRetryAfterConnectMs);
    if (!scan()) {
        notFound = true;
        return false;
    }
    pause(kRetryAfterScanMs);
    switch (connect()) {
        case Connect::Done:
            if (first == Connect::NoAnswer)
                ++recoveredFailures;  // its wrapper's box
            return true;
        case Connect::NoAnswer:
            return false;  // the wrapper has said why
        case Connect::NotOpened:
            // The port the scan just found cannot be opened again: say so rather than stop
            // without a word.
            notFound = true;
            showFail(op_, notFoundText, notFoundDetail(false));
            return false;
    }
    return false;
}

bool ProgrammerSession::searchProgrammer() {
    if (!job_.gangMode) {
        op_.setStatus("Search Programmer...");
    } else if (socketNumber >= 1 && socketNumber <= 4) {
        op_.setStatus("Search Programmer <" + std::to_string(socketNumber) + " of 4>...");
    }
    if (!findAndConnect(kProgrammerNotFound))
        return false;

    firmwareVariant = FirmwareVariant::None;
    if (programmerKind == kGangProgrammerKind) {
        showFail(op_, kSelectGangMode);
        return false;
    }
    const ProgrammerKindRow* row = rowOfKind(programmerKind);
    if (row == nullptr) {
        char kind[8];
        std::snprintf(kind, sizeof kind, "0x%02X", programmerKind);
        showFail(
            op_, kProgrammerNotFound,
            "Port " + link_.rememberedPortText() + " answered as an unknown kind (" + kind + ").");
        return false;
    }
    firmwareVariant = row->variant;
    showProgrammerType();
    if (identifyOnly)
        return true;

    const VariantDecision decision =
        checkVariant(firmwareVariant, categoryOfPart(job_.partIndex, job_.part()));
    if (decision.action == VariantDecision::Action::Refuse) {
        showFail(op_, decision.refusal);
        return false;
    }
    const bool moved = decision.target != firmwareVariant;
    firmwareVariant = decision.target;
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
    if (programmerKind == kGangProgrammerKind)
        return true;
    showFail(op_, kGangNotFound,
             "Port " + link_.rememberedPortText() +
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
    session.lastCommand = command::kFirmwareVersion;
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
    const bool ok = queryVersion(*this, firmwareVersion, [this] { return expectAck(); });
    fwBelow0490 = firmwareVersion < 0x0490;
    fwBelow0501 = firmwareVersion < 0x0501;
    fwBelow0505 = firmwareVersion < 0x0505;
    fwBelow0524 = firmwareVersion < 0x0524;
    fwBelow0601 = firmwareVersion < 0x0601;
    fwBelow0614 = firmwareVersion < 0x0614;
    return ok;
}

bool ProgrammerSession::readGangFirmwareVersion() {
    const bool ok = queryVersion(*this, firmwareVersion, [this] { return expectGangAck(); });
    gangFwBelow0119 = firmwareVersion < 0x0119;
    gangFwBelow0145 = firmwareVersion < 0x0145;
    gangFwBelow0560 = firmwareVersion < 0x0560;
    fwBelow0601 = firmwareVersion < 0x0601;
    return ok;
}

void ProgrammerSession::showProgrammerType() {
    if (const ProgrammerKindRow* row = rowOfVariant(firmwareVariant))
        op_.setProgrammerTypeLabel(row->label);
}

}  // namespace tarnel

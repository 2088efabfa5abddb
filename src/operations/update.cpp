#include "operations/update.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/outcome_reporter.h"
#include "core/serial_number_source.h"
#include "image/size_checks.h"
#include "operations/download.h"
#include "operations/storage_record.h"

namespace tarnel {

namespace {

constexpr std::uint8_t kGo = 0x00;
constexpr std::uint8_t kStop = 0xFF;
constexpr std::uint8_t kCodeProtectionQuestion = 0xFF;
constexpr std::uint8_t kChipCheckDeviceIdError = 2;
constexpr std::uint8_t kAllSocketsPassed = 0x3C;
constexpr int kGangPolls = 200;
// How long a report's rest may take to follow a status byte that is not 0.
constexpr Timeouts kReportRestWait{0, 0, 50, 1, 1000};

constexpr std::string_view kPleaseDownload =
    "Please click 'Download Programmer' to update the programming data saved in the "
    "programmer !";

// ---- The stored-setup report -----------------------------------------------------------

// One field of the report after the status byte: its size and, when the job selects it for
// comparison, the test of what arrived.
// The longest field of a stored-setup report, in bytes.
constexpr std::uint32_t kLongestReportField = 64;

struct ReportField {
    std::uint32_t size;
    std::function<bool(const std::uint8_t*)> matches;  // empty: read, not compared
};

std::function<bool(const std::uint8_t*)> equalTo(std::vector<std::uint8_t> expected) {
    return [expected = std::move(expected)](const std::uint8_t* got) {
        return std::equal(expected.begin(), expected.end(), got);
    };
}

std::function<bool(const std::uint8_t*)> sameName(const std::string& name) {
    return [name](const std::uint8_t* got) {
        const auto* end = std::find(got, got + kFileNameFieldSize, std::uint8_t{0});
        return std::string(got, end) == name;
    };
}

// The fields of one 24-bit region (APROM, DataFlash): last address, sum, time, name.
void addRegion(std::vector<ReportField>& fields, const ImageBuffer& image, bool selected) {
    const auto& last = image.headerLastAddress;
    const auto& sum = image.headerChecksum;
    auto when = [selected](auto test) { return selected ? test : nullptr; };
    fields.push_back({3, when(equalTo({last[2], last[1], last[0]}))});
    fields.push_back({4, when(equalTo({sum[3], sum[2], sum[1], sum[0]}))});
    fields.push_back({2, when(equalTo({image.fileMinute, image.fileSecond}))});
    fields.push_back({kFileNameFieldSize, when(sameName(image.shownName))});
}

// The report's fields 2..17 as this job expects them. In a single update the gang mode byte
// is read but not compared.
std::vector<ReportField> expectedReport(ProgrammerSession& session, bool gang) {
    ProgrammingJob& job = session.job();
    std::vector<ReportField> fields;
    const std::uint32_t partIndex = job.partIndex;
    fields.push_back(
        {session.fwBelow0501() ? 1u : 2u, [&session, partIndex](const std::uint8_t* got) {
             const std::uint32_t reported =
                 session.fwBelow0501() ? got[0] : std::uint32_t{got[0]} | got[1] << 8;
             return reported == partIndex;
         }});
    fields.push_back({1, equalTo({job.buildFlags()})});
    addRegion(fields, job.imageAprom, job.updateAprom);
    addRegion(fields, job.imageDataFlash, job.updateDataFlash);
    const ImageBuffer& ldrom = job.imageLdrom;
    const auto& last = ldrom.headerLastAddress;
    const auto& sum = ldrom.headerChecksum;
    auto whenLdrom = [&job](auto test) { return job.updateLdrom ? test : nullptr; };
    fields.push_back({2, whenLdrom(equalTo({last[1], last[0]}))});
    fields.push_back({3, whenLdrom(equalTo({sum[2], sum[1], sum[0]}))});
    fields.push_back({2, whenLdrom(equalTo({ldrom.fileMinute, ldrom.fileSecond}))});
    fields.push_back({kFileNameFieldSize, whenLdrom(sameName(ldrom.shownName))});
    const auto& c = job.configBytes;
    fields.push_back({8, job.updateConfig
                             ? equalTo({c[7], c[6], c[5], c[4], c[3], c[2], c[1], c[0]})
                             : nullptr});
    const std::uint8_t gangByte = job.gangVerifyOnly ? 0xFF : 0x00;
    fields.push_back({1, gang ? equalTo({gangByte}) : nullptr});
    return fields;
}

// Reads one report field into the reply buffer; `differs` is set when a compared field is
// not what the job expects.
bool readReportField(ProgrammerSession& session, const ReportField& field, bool& differs) {
    std::uint8_t buffer[kLongestReportField] = {};
    if (!session.receiveBlock(buffer, field.size))
        return false;
    differs = field.matches && !field.matches(buffer);
    return true;
}

// After a status byte that is not 0 some programmers send nothing more, others the rest of
// the report (0xFF throughout) and then wait for the host's decision. Waits briefly for that
// rest and reads it whole, so that no report byte is left on the line; true in `decisionDue`
// when it came. False on a link failure within the rest.
bool readReportRest(ProgrammerSession& session, const std::vector<ReportField>& fields,
                    bool& decisionDue) {
    ProgrammerLink& link = session.link();
    link.setTimeouts(kReportRestWait);
    std::uint8_t first = 0;
    decisionDue = link.readByte(first);
    link.setTimeouts(kStandardTimeouts);
    if (!decisionDue)
        return true;
    std::uint32_t rest = 0;
    for (const ReportField& field : fields)
        rest += field.size;
    std::vector<std::uint8_t> buffer(rest - 1);
    return session.receiveBlock(buffer.data(), rest - 1);
}

// ---- Tick counting ---------------------------------------------------------------------

// Counts `ticks` acknowledges on the progress bar.
bool countAcks(ProgrammerSession& session, int ticks) {
    startProgress(session.op(), ticks);
    TickRun run(ticks);
    for (int i = 0; i < ticks; ++i) {
        if (!session.expectAck(run))
            return false;
        session.op().stepProgress();
    }
    return true;
}

// An erase: the page count N (0 standing for 256), then N acknowledges.
bool countErase(ProgrammerSession& session) {
    std::uint8_t pages = 0;
    if (!session.receiveByte(pages))
        return false;
    return countAcks(session, pages == 0 ? 256 : pages);
}

// A result byte; non-zero shows the FAIL text. True when the step passed.
bool resultPassed(ProgrammerSession& session, std::string_view failText, TickRun* run = nullptr) {
    std::uint8_t result = 0;
    if (!(run != nullptr ? session.receiveByte(*run, result) : session.receiveByte(result)))
        return false;
    if (result == 0)
        return true;
    showFail(session.op(), failText);
    return false;
}

std::string serialText(std::uint32_t high, std::uint32_t low) {
    char text[24];
    std::snprintf(text, sizeof text, "%08u,%08u", high, low);
    return text;
}

std::string hexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", address);
    return text;
}

// ---- Single update ---------------------------------------------------------------------

void updateSingle(ProgrammerSession& session, bool afterDownload);

// The programmer holds another setup (or took new firmware): download and update again,
// unless this command has already done so.
void downloadAgain(ProgrammerSession& session, bool afterDownload) {
    if (afterDownload) {
        showFail(session.op(), kStillAnotherSetup);
        return;
    }
    runDownloadThenUpdate(session);
}

// The ISP path after the go byte: CONFIG, APROM, DataFlash; true when the chip passed.
bool ispUpdateSteps(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    if (job.updateConfig) {
        std::uint8_t question = 0;
        if (!session.receiveByte(question))
            return false;
        if (question == kCodeProtectionQuestion) {
            noteNotice(op);
            showWarning(op,
                        "APROM will be erased because code protection is changed from "
                        "\"Enable\" to \"Disable\" !");
            if (!session.sendCommandByte(kGo))
                return false;
            op.setStatus("Erase APROM...");
            if (!countErase(session))
                return false;
        }
        op.setStatus("Erase, program and verify CONFIG...");
        if (!resultPassed(session, "Update CONFIG error !"))
            return false;
    }
    if (job.updateAprom) {
        if (job.separateApromErase) {
            op.setStatus("Erase APROM...");
            if (!countErase(session))
                return false;
        }
        op.setStatus("Program and verify APROM...");
        if (!countAcks(session, pageTicks(job.imageAprom)) ||
            !resultPassed(session, "Update APROM error !"))
            return false;
    }
    if (job.updateDataFlash) {
        if (!resultPassed(session, "DataFlash is not enabled !"))
            return false;
        op.setStatus("Erase DataFlash...");
        if (!countErase(session))
            return false;
        op.setStatus("Program and verify DataFlash...");
        if (!countAcks(session, pageTicks(job.imageDataFlash)) ||
            !resultPassed(session, "Update DataFlash error !"))
            return false;
    }
    job.countChips();
    if (!job.updateIspDownload)
        showPass(op, "Chip is successfully updated !", job.productionMode);
    return true;
}

void updateSingle(ProgrammerSession& session, bool afterDownload) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();

    if (!checkUpdateInputs(job, op))
        return;
    if (!session.searchProgrammer())
        return;
    switch (session.checkFirmwareVersion()) {
        case ProgrammerSession::FirmwareCheck::Current:
            break;
        case ProgrammerSession::FirmwareCheck::Reloaded:
            downloadAgain(session, afterDownload);
            return;
        case ProgrammerSession::FirmwareCheck::Failed:
            return;
    }
    if (job.icpMode && job.serialEnabled &&
        !(drawSerialNumber(job, op, 0) && sendSerialNumberSetting(session)))
        return;

    session.setLastCommand(command::kUpdateChips);
    if (!session.sendCommandByte(command::kUpdateChips) || !session.expectAck())
        return;
    std::uint8_t status = 0;
    if (!session.receiveByte(status))
        return;
    const std::vector<ReportField> report = expectedReport(session, false);
    if (status != 0) {
        bool decisionDue = false;
        if (!readReportRest(session, report, decisionDue))
            return;
        if (!decisionDue || session.sendCommandByte(kStop))
            downloadAgain(session, afterDownload);
        return;
    }
    for (const ReportField& field : report) {
        bool differs = false;
        if (!readReportField(session, field, differs))
            return;
        if (differs) {
            // A programmer may send its whole report before it reads the stop byte.
            session.replyCutShort();
            if (session.sendCommandByte(kStop))
                downloadAgain(session, afterDownload);
            return;
        }
    }
    if (!session.sendCommandByte(kGo))
        return;
    if (job.icpMode) {
        // A failure the programmer reported (the link still up) leaves the chip without a
        // usable number; one where the link was lost leaves its fate unknown.
        if (!icpUpdateSteps(session) && job.linkResult != 0)
            serialNumberRefused(job, 0);
    } else {
        ispUpdateSteps(session);
    }
}

// ---- Gang update -----------------------------------------------------------------------

struct SerialNumber {
    std::uint32_t high = 0;
    std::uint32_t low = 0;
};

// 0xD1: false (after the WARNING) when the gang programmer holds nothing.
bool gangHoldsSetup(ProgrammerSession& session) {
    session.setLastCommand(command::kGangStoredDataStatus);
    if (!session.sendPaced({command::kGangStoredDataStatus}) || !session.expectGangAck())
        return false;
    std::uint8_t stored = 0;
    if (!session.receiveByte(stored))
        return false;
    if (stored != 0xFF)
        return true;
    showWarning(session.op(), kPleaseDownload);
    return false;
}

// Unit #1's stored-setup report, read whole and answered with the stop byte. False (after
// the WARNING) when it differs from the job, or on a link failure.
bool gangSetupMatches(ProgrammerSession& session) {
    session.setLastCommand(command::kUpdateChips);
    if (!session.sendCommandByte(command::kUpdateChips) || !session.expectAck())
        return false;
    std::uint8_t status = 0;
    if (!session.receiveByte(status))
        return false;
    // The whole report is read before the stop byte goes out, whatever the status says.
    const std::vector<ReportField> report = expectedReport(session, true);
    bool differs = status != 0;
    if (differs) {
        bool decisionDue = false;
        if (!readReportRest(session, report, decisionDue))
            return false;
    } else {
        for (const ReportField& field : report) {
            bool fieldDiffers = false;
            if (!readReportField(session, field, fieldDiffers))
                return false;
            differs = differs || fieldDiffers;
        }
    }
    if (!session.sendCommandByte(kStop))
        return false;
    if (differs)
        showWarning(session.op(), kPleaseDownload);
    return !differs;
}

// The S/N hand-out: each unit gets the next S/N; `handed` keeps what each socket got.
bool handOutSerialNumbers(ProgrammerSession& session, std::array<SerialNumber, 4>& handed) {
    ProgrammingJob& job = session.job();
    // On a line all four numbers are had before anything goes out, so a ledger that cannot
    // give them never leaves the programmer halfway through the hand-out.
    for (int socket = 1; socket <= 4; ++socket) {
        if (!reserveSerialNumber(job, session.op(), socket))
            return false;
    }
    session.setLastCommand(command::kSerialNumberSettings);
    if (!session.sendCommandByte(command::kSerialNumberSettings) || !session.expectGangAck() ||
        !receiveGangSync(session, 1, true))
        return false;
    for (std::uint8_t socket = 1; socket <= 4; ++socket) {
        if (socket > 1 && !receiveGangSync(session, socket, false))
            return false;
        if (!sendingSerialNumber(job, session.op(), socket) || !sendSerialNumberSetting(session))
            return false;
        handed[socket - 1] = {job.serialHigh, job.serialLow};
        if (job.serialSource == nullptr)
            job.advanceSerialNumber();
    }
    return true;
}

// Polls for the result byte; false (after the WARNING) when none came.
bool awaitGangResult(ProgrammerSession& session, std::uint8_t& result) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    op.setStatus(job.gangVerifyOnly ? "Verify the chips in #1~#4 sockets..."
                                    : "Program and verify the chips in #1~#4 sockets...");
    op.setProgressRange(1);
    op.setProgressStep(1);
    session.link().setTimeouts(kShortGangTimeouts);
    bool received = false;
    for (int poll = 0; poll < kGangPolls && !received; ++poll) {
        received = session.receiveRaw(result);
        if (!received)
            op.stepProgress();
    }
    resetProgress(op);
    session.link().setTimeouts(kStandardTimeouts);
    if (!received) {
        noteFailureClass(op, FailureClass::Link);
        showWarning(op, "Timeout !");
        return false;
    }
    return true;
}

void reportGangResult(ProgrammerSession& session, std::uint8_t result, bool serialSent,
                      const std::array<SerialNumber, 4>& handed) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    std::array<SocketNote, 4> sockets;
    for (int socket = 1; socket <= 4; ++socket) {
        SocketNote& note = sockets[socket - 1];
        note.passed = (result & (1u << (socket + 1))) != 0;
        if (serialSent && note.passed)
            note.serialNumber = serialText(handed[socket - 1].high, handed[socket - 1].low);
        // On a line each socket's number is settled by its own result.
        if (serialSent && job.serialSource != nullptr) {
            if (note.passed)
                job.serialSource->passed(socket);
            else
                job.serialSource->failed(socket);
        }
    }
    noteSockets(op, sockets);
    if ((result & kAllSocketsPassed) == kAllSocketsPassed) {
        // The counter moves (and is saved) before the box, which may stay up a while.
        job.gangPassCount = 4;
        job.countChips();
        if (job.gangVerifyOnly) {
            showPass(op, "All chips are successfully verified !", job.productionMode);
        } else if (serialSent) {
            std::string text = "All chips are successfully programmed !\n\n";
            for (int socket = 1; socket <= 4; ++socket) {
                const SerialNumber& serial = handed[socket - 1];
                if (socket > 1)
                    text += "\n";
                text += "( #" + std::to_string(socket) + "'s S/N='" +
                        serialText(serial.high, serial.low) + "' at address 0x" +
                        hexAddress(job.serialAddress) + " )";
            }
            showPass(op, text, job.productionMode);
        } else {
            showPass(op, "All chips are successfully programmed !", job.productionMode);
        }
        return;
    }
    job.gangPassCount = 4;
    std::string text = "Failed chips:  ";
    for (int socket = 1; socket <= 4; ++socket) {
        if ((result & (1u << (socket + 1))) == 0) {
            text += '#';
            text += static_cast<char>('0' + socket);
            text += "  ";
            --job.gangPassCount;
        }
    }
    job.countChips();
    // No chip took an S/N: give the four back. Chips that failed among good ones keep theirs.
    // (On a line the ledger has had each socket's number back already.)
    if ((result & kAllSocketsPassed) == 0 && serialSent && job.serialSource == nullptr) {
        for (int i = 0; i < 4; ++i)
            job.retreatSerialNumber();
    }
    showFail(op, text);
}

}  // namespace

bool chipCounterAllowsUpdate(ProgrammingJob& job, Operator& op) {
    if (!job.chipCounterEnabled)
        return true;
    if (!job.chipCounterDown && job.chipCounter >= kChipCounterMax) {
        showWarning(op, "Chip Counter reaches '999,999' !\n\nPlease reset the Chip Counter.");
        return false;
    }
    if (job.chipCounterDown && job.chipCounter == 0) {
        showWarning(op, "Chip Counter reaches '000,000' !\n\nPlease reset the Chip Counter.");
        return false;
    }
    return true;
}

void updateWorker(ProgrammerSession& session) {
    if (session.job().gangMode) {
        updateGangWorker(session);
    } else {
        updateSingleWorker(session);
    }
}

void updateSingleWorker(ProgrammerSession& session) {
    updateSingle(session, false);
    settleSerialNumbers(session.job());
}

bool icpUpdateSteps(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    std::uint8_t check = 0;
    if (!session.receiveByte(check))
        return false;
    if (check == 0 || check == 1) {
        if (!session.sendCommandByte(kGo))
            return false;
    } else if (check == kChipCheckDeviceIdError) {
        showFail(op, "Device ID error !\nPlease select the correct Part No.");
        session.sendCommandByte(kGo);
        return false;
    }

    const PartRecord& part = job.part();
    struct Region {
        bool selected;
        const ImageBuffer& image;
        const char* status;
        std::string_view failText;
    };
    const Region regions[] = {
        {job.updateAprom, job.imageAprom, "Program and verify APROM...", "Update APROM error !"},
        {job.updateDataFlash, job.imageDataFlash, "Program and verify DataFlash...",
         part.isPike || part.isTern ? "Update DataFlash error !"
                                    : "Update DataFlash error !\nCheck if DataFlash was locked."},
        {job.updateLdrom, job.imageLdrom, "Program and verify LDROM...", "Update LDROM error !"},
    };
    for (const Region& region : regions) {
        if (!region.selected)
            continue;
        op.setStatus(region.status);
        const int ticks = pageTicks(region.image);
        startProgress(op, ticks);
        TickRun run(ticks);
        for (int i = 0; i < ticks; ++i) {
            if (!resultPassed(session, region.failText, &run))
                return false;
            op.stepProgress();
        }
    }
    if (job.updateConfig) {
        op.setStatus("Program and verify CONFIG...");
        if (!resultPassed(session, "Update CONFIG error !"))
            return false;
    }

    std::string text = "Chip is successfully updated !";
    if (job.serialEnabled) {
        text += "\n\n( S/N='" + serialText(job.serialHigh, job.serialLow) + "' at address 0x" +
                hexAddress(job.serialAddress) + " )";
    }
    // The counters move (and are saved) before the box, which may stay up a while.
    job.countChips();
    if (job.serialEnabled)
        noteSerialNumber(op, serialText(job.serialHigh, job.serialLow));
    if (job.serialEnabled && (job.comPortIspMode || job.icpMode))
        serialNumberUsed(job, 0);
    showPass(op, text, job.productionMode);
    return true;
}

namespace {

// The gang update itself; updateGangWorker settles the S/N hand-outs after it.
void updateGang(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    session.setSocketNumber(0);

    if (job.serialEnabled && !checkSerialAddress(job, op))
        return;
    if (!session.searchGangProgrammer() || !session.readGangFirmwareVersion())
        return;
    if (session.firmwareVersion() != kCarriedFirmwareVersion) {
        showWarning(op, kPleaseDownload);
        return;
    }
    if (!gangHoldsSetup(session))
        return;

    session.setLastCommand(command::kGangConnectSocket1);
    if (!session.sendPaced({command::kGangConnectSocket1}) || !session.expectGangAck() ||
        !receiveGangSync(session, 1, true))
        return;
    session.setIdentifyOnly(true);
    const bool identified = session.searchProgrammer();
    session.setIdentifyOnly(false);
    if (!identified || !gangSetupMatches(session))
        return;

    std::array<SerialNumber, 4> handed{};
    const bool serialSent = job.icpMode && job.serialEnabled && !job.gangVerifyOnly;
    if (serialSent && !handOutSerialNumbers(session, handed))
        return;

    session.setLastCommand(command::kUpdateChips);
    if (!session.sendPaced({command::kUpdateChips}) || !session.expectGangAck())
        return;
    std::uint8_t result = 0;
    if (!awaitGangResult(session, result))
        return;
    reportGangResult(session, result, serialSent, handed);
}

}  // namespace

void updateGangWorker(ProgrammerSession& session) {
    updateGang(session);
    settleSerialNumbers(session.job());
}

void runDownloadThenUpdate(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    job.downloadThenUpdate = true;
    downloadWorker(session);
    // A download that failed has said why; updating against a storage known to be wrong
    // would only add a second box.
    if (session.downloadSucceeded()) {
        if (job.gangMode) {
            updateGangWorker(session);
        } else {
            updateSingle(session, true);
        }
    }
    job.downloadThenUpdate = false;
}

}  // namespace tarnel

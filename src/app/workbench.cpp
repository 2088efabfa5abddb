#include "app/workbench.h"

#include <cstdio>

#include "app/settings_file.h"
#include "core/part_lists.h"
#include "image/image_loader.h"
#include "image/size_checks.h"
#include "operations/chip_check.h"
#include "operations/download.h"
#include "operations/programmer_info.h"
#include "operations/read_chip.h"
#include "operations/update.h"
#include "operations/verify.h"

namespace tarnel {

Workbench::Workbench(Operator& op, Clock& clock, PortFactory& ports, RunOn runOn)
    : runOn_(runOn),
      reporter_(op, job_, clock),
      op_(reporter_),
      record_([this] { return job_.workDirectory; },
              [&op](const std::string& error) {
                  // Straight to the front: this box is about the record, not a chip.
                  op.showMessageBox("ERROR", "The production record cannot be written !\n" + error,
                                    BoxIcon::Error);
              }),
      link_(ports, clock),
      session_(job_, link_, op_, clock),
      isp_(job_, link_, op_, clock) {
    reporter_.setLinkContext([this] { return linkContext(); });
    reporter_.listeners().add(record_);
}

Workbench::~Workbench() {
    worker_.wait();
}

void Workbench::startUp(const std::string& workDirectory) {
    job_.workDirectory = workDirectory;
    job_.settingsFilePath = settingsPathIn(workDirectory);
    job_.countersChanged = [this] { tarnel::saveSettings(job_, op_); };
    loadSettings(job_);  // a missing or unreadable file leaves the defaults
    job_.refreshDerivedState();
    applyLegacyListMask(job_);
    fillFamilyList(job_);
    job_.savedIcpPartIndex = 100;
    job_.savedIspPartIndex = 2;
    job_.activeTab = 0;
    readBack_.socketChoice = 1;
    resetProgress(op_);
}

void Workbench::useRecord(OutcomeSink& record) {
    reporter_.listeners().remove(record_);
    reporter_.listeners().add(record);
}

void Workbench::stopProductionMode() {
    // Only the flag is read by the running loop; the type's high nibble follows it for the
    // settings file, which is written after the worker has ended.
    if (job_.productionMode.exchange(false))
        job_.programmerType = static_cast<std::uint8_t>(job_.programmerType & 0x0F);
}

void Workbench::toggleProductionMode(bool ticked) {
    if (ticked && !busy()) {
        job_.programmerType =
            static_cast<std::uint8_t>((job_.programmerType & 0x0F) | kTypeProduction);
        job_.productionMode = true;
    } else {
        stopProductionMode();
    }
}

bool Workbench::saveSettings() {
    return tarnel::saveSettings(job_, op_);
}

bool Workbench::startWorker(std::function<void()> body) {
    if (runOn_ == RunOn::CallingThread)
        return worker_.run(body);
    return worker_.start(std::move(body));
}

LinkContext Workbench::linkContext() {
    LinkContext context;
    context.station = station_;
    if (job_.comPortIspMode) {
        context.programmerKind = "ISP by COM Port";
        context.port = link_.portText(isp_.ispPortName());
    } else {
        context.programmerKind = job_.gangMode ? "Gang" : job_.icpMode ? "ICP" : "ISP";
        context.port = link_.portText(job_.comPortText());
        if (session_.firmwareVersion() != 0) {
            char text[8];
            std::snprintf(text, sizeof text, "0x%04X", session_.firmwareVersion());
            context.firmwareVersion = text;
        }
        context.socket = session_.socketNumber() != 0 ? session_.socketNumber() : commandSocket_;
        context.linkDown = session_.notFound();
    }
    context.linkDown = context.linkDown || job_.linkResult == 0;
    return context;
}

bool Workbench::startCommand(ChipOperation operation, std::function<bool()> prepare,
                             std::function<void()> body) {
    if (busy())
        return false;
    reporter_.beginCommand(operation);
    job_.linkResult = 1;  // nothing has failed on the link in this command yet
    commandSocket_ = 0;
    if (!prepare()) {
        reporter_.endCommand();
        return false;
    }
    // A gang verify or read serves the one socket chosen in its preparation.
    const bool oneSocket = operation == ChipOperation::Verify || operation == ChipOperation::Read;
    if (job_.gangMode && oneSocket)
        commandSocket_ = readBack_.socketChoice;
    const bool started = startWorker([this, body = std::move(body)] {
        body();
        reporter_.endCommand();
    });
    if (!started)
        reporter_.endCommand();
    return started;
}

// Images that cannot be reloaded are input errors, whatever box their loader shows.
bool Workbench::reloadImages() {
    reporter_.setStretchClass(FailureClass::Input);
    const bool reloaded = reloadImagesForCommand(job_, op_);
    reporter_.setStretchClass(std::nullopt);
    return reloaded;
}

bool Workbench::download(bool updateIspDownload) {
    return startCommand(
        ChipOperation::Download,
        [this, updateIspDownload] {
            if (job_.gangMode && !prepareGangDownload(session_))
                return false;
            job_.updateIspDownload = updateIspDownload;
            return reloadImages();
        },
        [this] { downloadWorker(session_); });
}

bool Workbench::update() {
    return startCommand(
        ChipOperation::Update,
        [this] { return chipCounterAllowsUpdate(job_, op_) && reloadImages(); },
        [this] { updateChips(); });
}

void Workbench::updateChips() {
    // ISP by COM Port and production mode talk to the chip's boot loader, not a programmer.
    if (job_.gangMode || !(job_.productionMode || job_.comPortIspMode)) {
        updateWorker(session_);
        return;
    }
    if (!checkUpdateInputs(job_, op_))
        return;
    if (job_.productionMode)
        isp_.ispProductionLoop();
    else
        isp_.ispUpdateChip();
}

bool Workbench::verify() {
    return startCommand(
        ChipOperation::Verify,
        [this] {
            if (job_.gangMode && !prepareGangSocket(session_, readBack_))
                return false;
            return reloadImages();
        },
        [this] { verifyWorker(session_, readBack_); });
}

bool Workbench::read() {
    return startCommand(
        ChipOperation::Read,
        [this] { return !job_.gangMode || prepareGangSocket(session_, readBack_); },
        [this] { readWorker(session_, readBack_); });
}

bool Workbench::chipCheck() {
    return startCommand(
        ChipOperation::ChipCheck,
        [this] {
            if (chipCheckApplies(job_))
                return true;
            noteFailureClass(op_, FailureClass::Usage);
            debugMessage(op_, kChipCheckWrongPart);
            return false;
        },
        [this] { chipCheckWorker(session_, readBack_); });
}

void Workbench::programmerInformation() {
    if (busy())
        return;
    reporter_.beginCommand(ChipOperation::Information);
    job_.linkResult = 1;
    tarnel::programmerInformation(session_, readBack_);
    reporter_.endCommand();
}

// The texts of the record entries of retired serial numbers.
constexpr std::string_view kRetiredAfterUnfinishedRun =
    "S/N retired: it was sent to a chip in a run that did not finish, so that chip may carry "
    "it. It is never handed out again.";
constexpr std::string_view kRetiredAfterLostLink =
    "S/N retired: it was sent to a chip whose result never came back, so that chip may carry "
    "it. It is never handed out again.";

void Workbench::recordRetired(SerialValue value, std::string_view why) {
    const LinkContext context = linkContext();
    ChipOutcome outcome;
    outcome.operation = ChipOperation::Update;
    outcome.outcome = Outcome::Fail;
    outcome.failureClass = FailureClass::Link;
    outcome.failureText = std::string(why);
    outcome.serialNumber = serialText(value);
    outcome.station = station_;
    outcome.port = context.port;
    outcome.programmerKind = context.programmerKind;
    outcome.partNumber = std::string(job_.part().partNumber);
    outcome.projectFile = job_.projectFileName;
    outcome.time = localTimeIso8601();
    outcome.hostName = hostName();
    reporter_.listeners().chipOutcome(outcome);
}

bool Workbench::useSerialLedger(SerialLedger* ledger, std::string station, std::string* error) {
    if (busy()) {
        if (error != nullptr)
            *error = "a command is running";
        return false;
    }
    station_ = std::move(station);
    job_.serialSource = nullptr;
    serialSource_.reset();
    if (ledger == nullptr)
        return true;
    const auto retired = ledger->recover(station_, error);
    if (!retired)
        return false;
    for (const SerialValue& value : *retired)
        recordRetired(value, kRetiredAfterUnfinishedRun);
    serialSource_ = std::make_unique<SerialNumberSource>(*ledger, station_);
    serialSource_->setRetiredListener(
        [this](SerialValue value) { recordRetired(value, kRetiredAfterLostLink); });
    job_.serialSource = serialSource_.get();
    return true;
}

std::string Workbench::serialLedgerTrouble() const {
    return serialSource_ ? serialSource_->trouble() : std::string();
}

void Workbench::clearSerialLedgerTrouble() {
    if (serialSource_)
        serialSource_->clearTrouble();
}

bool Workbench::startIspPortSearch() {
    return startWorker([this] { isp_.searchIspPorts(); });
}

bool Workbench::firmwareUpdate() {
    return session_.reloadFirmware();
}

}  // namespace tarnel

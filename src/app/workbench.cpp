#include "app/workbench.h"

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
    : op_(op),
      runOn_(runOn),
      link_(ports, clock),
      session_(job_, link_, op, clock),
      isp_(job_, link_, op, clock) {}

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

bool Workbench::download(bool updateIspDownload) {
    if (busy())
        return false;
    if (job_.gangMode && !prepareGangDownload(session_))
        return false;
    job_.updateIspDownload = updateIspDownload;
    if (!reloadImagesForCommand(job_, op_))
        return false;
    return startWorker([this] { downloadWorker(session_); });
}

bool Workbench::update() {
    if (busy())
        return false;
    if (!chipCounterAllowsUpdate(job_, op_))
        return false;
    if (!reloadImagesForCommand(job_, op_))
        return false;
    return startWorker([this] { updateChips(); });
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
    if (busy())
        return false;
    if (job_.gangMode && !prepareGangSocket(session_, readBack_))
        return false;
    if (!reloadImagesForCommand(job_, op_))
        return false;
    return startWorker([this] { verifyWorker(session_, readBack_); });
}

bool Workbench::read() {
    if (busy())
        return false;
    if (job_.gangMode && !prepareGangSocket(session_, readBack_))
        return false;
    return startWorker([this] { readWorker(session_, readBack_); });
}

bool Workbench::chipCheck() {
    if (busy())
        return false;
    if (!chipCheckApplies(job_)) {
        debugMessage(op_, kChipCheckWrongPart);
        return false;
    }
    return startWorker([this] { chipCheckWorker(session_, readBack_); });
}

void Workbench::programmerInformation() {
    if (busy())
        return;
    tarnel::programmerInformation(session_, readBack_);
}

bool Workbench::startIspPortSearch() {
    return startWorker([this] { isp_.searchIspPorts(); });
}

bool Workbench::firmwareUpdate() {
    return session_.reloadFirmware();
}

}  // namespace tarnel

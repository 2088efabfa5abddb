#include "operations/download.h"

#include <string>

#include "image/size_checks.h"
#include "operations/storage_record.h"

namespace tarnel {

namespace {

constexpr std::uint8_t kChecksumGood = 0x00;
constexpr std::uint8_t kChecksumBad = 0xFF;
// The gang header carries the part number with its NUL, at most this many bytes.
constexpr std::size_t kGangPartNumberLimit = 64;

// Leaves socketNumber at 0 on every way out of a worker.
class SocketReset {
  public:
    explicit SocketReset(ProgrammerSession& session) : session_(session) {}
    ~SocketReset() { session_.setSocketNumber(0); }
    SocketReset(const SocketReset&) = delete;
    SocketReset& operator=(const SocketReset&) = delete;

  private:
    ProgrammerSession& session_;
};

// A download step's status line: the plain text outside gang mode, the unit form while a
// gang unit is served, no change otherwise.
void showStepStatus(ProgrammerSession& session, const std::string& step) {
    const int socket = session.socketNumber();
    if (!session.job().gangMode) {
        session.op().setStatus(step + "...");
    } else if (socket >= 1 && socket <= 4) {
        session.op().setStatus(step + " <" + std::to_string(socket) + " of 4>...");
    }
}

struct RegionTransfer {
    const ImageBuffer& image;
    const char* name;  // "APROM", "DataFlash", "LDROM"
    bool ldrom;
};

// One region: ready, the data blocks, the programmer's re-read, the 4-byte checksum and the
// verdict byte. False on a link failure; `verified` tells whether the checksum matched.
bool transferRegion(ProgrammerSession& session, const RegionTransfer& region, bool& verified) {
    Operator& op = session.op();
    const ImageBuffer& image = region.image;
    const int blocks = static_cast<int>(image.lengthHigh + (image.lengthLow != 0 ? 1 : 0));

    showStepStatus(session, std::string("Download Programmer (for ") + region.name + ")");
    startProgress(op, blocks);
    if (!session.expectAck())
        return false;
    for (std::uint32_t i = 0; i < image.lengthHigh; ++i) {
        if (!session.sendBlock(image.data.data() + kBlockSize * i, kBlockSize) ||
            !session.expectAck())
            return false;
        op.stepProgress();
    }
    if (image.lengthLow != 0) {
        if (!session.sendBlock(image.data.data() + kBlockSize * image.lengthHigh,
                               image.lengthLow) ||
            !session.expectAck())
            return false;
        op.stepProgress();
    }

    showStepStatus(session, std::string("Verify Programmer's Storage (for ") + region.name + ")");
    startProgress(op, blocks);
    for (int i = 0; i < blocks; ++i) {
        if (!session.expectAck())
            return false;
        op.stepProgress();
    }
    std::uint8_t reply[4] = {};
    if (!session.receiveBlock(reply, 4))
        return false;
    const auto& sum = image.headerChecksum;
    verified =
        region.ldrom
            ? reply[0] == 0x00 && reply[1] == sum[2] && reply[2] == sum[1] && reply[3] == sum[0]
            : reply[0] == sum[3] && reply[1] == sum[2] && reply[2] == sum[1] && reply[3] == sum[0];
    if (!session.sendPaced({verified ? kChecksumGood : kChecksumBad}))
        return false;
    if (!verified)
        showFail(op, "Programmer's storage checksum error !");
    return true;
}

// 0xCA and, for a gang programmer of 0x0119 or newer, the header bytes.
bool sendGangHeader(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    session.setLastCommand(command::kGangDownloadHeader);
    if (!session.sendCommandByte(command::kGangDownloadHeader) || !session.expectGangAck())
        return false;
    if (!session.gangHeaderExtended())
        return true;
    const auto& configSum = job.imageAprom.configSum;
    if (!session.sendPaced({job.part().algoFlag,
                            static_cast<std::uint8_t>(job.gangVerifyOnly ? 0xFF : 0x00),
                            job.imageAprom.headerChecksum[1], job.imageAprom.headerChecksum[0],
                            job.imageDataFlash.headerChecksum[1],
                            job.imageDataFlash.headerChecksum[0], job.imageLdrom.headerChecksum[1],
                            job.imageLdrom.headerChecksum[0], configSum[1], configSum[0]}))
        return false;
    std::string partNumber(job.part().partNumber);
    partNumber.resize(std::min(partNumber.size(), kGangPartNumberLimit - 1));
    partNumber.push_back('\0');
    for (const char c : partNumber) {
        if (!session.sendPaced({static_cast<std::uint8_t>(c)}))
            return false;
    }
    return true;
}

void gangDownload(ProgrammerSession& session) {
    if (!session.searchGangProgrammer())
        return;
    if (!session.gangFirmwareReady())
        return;
    if (!sendGangHeader(session) || !receiveGangSync(session, 1, true))
        return;
    bool allVerified = true;
    for (std::uint8_t unit = 1; unit <= 4; ++unit) {
        session.setSocketNumber(unit);
        const StorageOutcome outcome = downloadStorage(session);
        if (outcome == StorageOutcome::Stopped)
            return;
        allVerified = allVerified && outcome == StorageOutcome::Verified;
        if (unit < 4 && !receiveGangSync(session, static_cast<std::uint8_t>(unit + 1), false))
            return;
    }
    // A unit whose checksum failed has shown its FAIL box; the run is no success then.
    session.setDownloadSucceeded(allVerified);
    if (allVerified)
        showPass(session.op(), "Gang Programmer is successfully downloaded !",
                 session.job().productionMode);
}

}  // namespace

bool receiveGangSync(ProgrammerSession& session, std::uint8_t expected, bool longWait) {
    if (longWait)
        session.link().setTimeouts(kLongWaitTimeouts);
    std::uint8_t sync = 0;
    const bool received = session.receiveByte(sync);
    if (longWait)
        session.link().setTimeouts(kStandardTimeouts);
    if (!received)
        return false;
    if (sync == expected)
        return true;
    showFail(session.op(), "Sync #" + std::to_string(expected) + " error !");
    return false;
}

bool prepareGangDownload(ProgrammerSession& session) {
    // A version query that failed has shown its FAIL box; the download must not go on to a
    // PASS after it.
    if (!session.searchGangProgrammer() || !session.readGangFirmwareVersion())
        return false;
    return true;
}

void downloadWorker(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    SocketReset socketReset(session);
    session.setDownloadSucceeded(false);

    if (!checkImageSizes(job, op))
        return;
    if (job.gangMode) {
        gangDownload(session);
    } else {
        downloadStorage(session);
    }
}

StorageOutcome downloadStorage(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();

    op.setProgressPosition(0);
    if (!session.searchProgrammer())
        return StorageOutcome::Stopped;
    if (session.checkFirmwareVersion() == ProgrammerSession::FirmwareCheck::Failed)
        return StorageOutcome::Stopped;
    if (job.icpMode && job.serialEnabled && !job.gangMode) {
        if (!checkSerialAddress(job, op) || !sendSerialNumberSetting(session))
            return StorageOutcome::Stopped;
    }

    session.setLastCommand(command::kDownloadStorage);
    if (!session.sendCommandByte(command::kDownloadStorage) || !session.expectAck() ||
        !session.expectAck())
        return StorageOutcome::Stopped;
    for (const std::uint8_t field : storageRecordFields(job)) {
        if (!session.sendPaced({field}))
            return StorageOutcome::Stopped;
    }
    if (!session.expectAck())
        return StorageOutcome::Stopped;

    auto sendField = [&session](const std::uint8_t* bytes, std::uint32_t count) {
        if (!session.sendBlock(bytes, count))
            return false;
        session.pause(kBytePauseMs);
        return session.expectAck();
    };
    const auto partNumber = partNumberField(job.part().partNumber);
    if (!sendField(partNumber.data(), partNumber.size()))
        return StorageOutcome::Stopped;
    for (const ImageBuffer* image : {&job.imageAprom, &job.imageDataFlash, &job.imageLdrom}) {
        const auto name = fileNameField(image->shownName);
        if (!sendField(name.data(), name.size()))
            return StorageOutcome::Stopped;
    }

    showStepStatus(session, "Clear Programmer's Storage");
    if (!session.expectAck(kEraseTimeouts))
        return StorageOutcome::Stopped;

    const RegionTransfer regions[] = {{job.imageAprom, "APROM", false},
                                      {job.imageDataFlash, "DataFlash", false},
                                      {job.imageLdrom, "LDROM", true}};
    const bool ticked[] = {job.updateAprom, job.updateDataFlash, job.updateLdrom};
    bool anyTicked = false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (!ticked[i])
            continue;
        anyTicked = true;
        bool verified = false;
        if (!transferRegion(session, regions[i], verified))
            return StorageOutcome::Stopped;
        if (!verified)
            return StorageOutcome::ChecksumError;
    }
    if (anyTicked && !job.downloadThenUpdate && !job.gangMode)
        showPass(op, "Programmer is successfully downloaded !", job.productionMode);
    // A gang unit's storage is not the whole download: gangDownload decides after the last.
    if (!job.gangMode)
        session.setDownloadSucceeded(true);
    return StorageOutcome::Verified;
}

bool sendSerialNumberSetting(ProgrammerSession& session) {
    const ProgrammingJob& job = session.job();
    session.setLastCommand(command::kSerialNumberSettings);
    if (!session.sendPaced({command::kSerialNumberSettings}) || !session.expectAck())
        return false;
    const std::uint32_t address = job.serialAddress;
    if (!session.sendPaced({static_cast<std::uint8_t>(address >> 16),
                            static_cast<std::uint8_t>(address >> 8),
                            static_cast<std::uint8_t>(address)}))
        return false;
    // Packed decimal keeps the lowest digit pair first; the wire wants the highest first.
    for (const Bcd8& value : {serialAsBcd(job.serialHigh, job.serialLow),
                              serialAsBcd(job.incrementHigh, job.incrementLow)}) {
        for (auto byte = value.rbegin(); byte != value.rend(); ++byte) {
            if (!session.sendPaced({*byte}))
                return false;
        }
    }
    return true;
}

}  // namespace tarnel

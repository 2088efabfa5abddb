#include "operations/read_chip.h"

#include <algorithm>

#include "core/config_model.h"
#include "core/outcome_reporter.h"
#include "link/programmer_link.h"
#include "operations/download.h"
#include "operations/step_helpers.h"

namespace tarnel {

namespace {

constexpr std::string_view kPreviouslyLocked =
    "Chip was previously locked !\n\nAPROM and CONFIG will be read 0xFF.\nDataFlash will also "
    "be read 0xFF unless it was not locked.";
constexpr std::string_view kLocked = "Chip was locked !";
constexpr std::string_view kDeviceIdError = "Device ID error !\nPlease select the correct Part No.";

constexpr std::uint32_t kApromBlock = 256;
constexpr std::uint32_t kDataFlashBlock = 128;
constexpr std::uint32_t kLdromBlock = 256;

// Chip status bytes after the read request.
constexpr std::uint8_t kChipNormal = 0;
constexpr std::uint8_t kChipLocked = 1;
constexpr std::uint8_t kChipWrongId = 2;

// The choice bytes: read the region, or skip it.
constexpr std::uint8_t kReadRegion = 0xFF;
constexpr std::uint8_t kSkipRegion = 0x00;

std::uint8_t byteOf(std::uint32_t value, int shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

// A last address from signed arithmetic, bounded by the read-back buffer.
std::uint32_t boundLast(std::int64_t last) {
    if (last < 0)
        return kNothingToRead;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(last, kImageCapacity - 1));
}

bool bit(std::uint8_t byte, int n) {
    return (byte >> n & 1) != 0;
}

// The ISP read: two request bytes, then the eight CONFIG bytes, shown in the part's view.
bool ispReadConfig(ProgrammerSession& session, ReadBackState& readBack) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    const PartRecord& part = job.part();
    if (!session.sendPaced({byteOf(job.partIndex, 0), part.legacyChipCode}))
        return false;
    op.setStatus("Read CONFIG...");
    steps::countTicks(op, 1);
    std::array<std::uint8_t, 8> stream{};
    if (!session.receiveBlock(stream.data(), 8))
        return false;
    readBack.chipConfig = stream;
    readBack.chipConfigPartIndex = job.partIndex;
    op.stepProgress();
    resetProgress(op);

    readBack.showChipConfigMode = true;
    steps::OnExit clearMode([&readBack] { readBack.showChipConfigMode = false; });
    op.beep(BeepKind::Default);
    op.showConfigView(part.isPike ? ConfigLayout::Pike : ConfigLayout::Ferro, job.partIndex,
                      configBytesFromStream(stream));
    return true;
}

}  // namespace

IcpReadPlan planIcpRead(const PartRecord& part, const std::array<std::uint8_t, 8>& jobConfig,
                        const std::array<std::uint8_t, 8>& c, std::uint32_t readLimit) {
    IcpReadPlan plan;
    const std::int64_t dfbadr = std::int64_t{c[6]} << 16 | std::int64_t{c[5]} << 8;
    const bool dataFlashEnabled = !bit(c[0], 0);
    const bool ldromBitClear = !bit(c[0], 2);

    plan.readLimit = readLimit;
    if (part.is32Bit) {
        plan.readLimit = 0x20000;
        if (part.isWren || part.isTeal)
            plan.readLimit = part.apromLastAddress + 1;
        if (part.isSonra)
            plan.readLimit = ldromBitClear ? 0x24400 : 0x23400;
    }
    const std::int64_t limit = plan.readLimit;

    std::int64_t apromLast = part.apromLastAddress;
    if (part.isSonra) {
        if (dataFlashEnabled)
            apromLast = apromLast + dfbadr - limit;
        if (ldromBitClear)
            apromLast += 0x1000;
    } else if (part.is32Bit && part.dataFlashInAprom) {
        if (dataFlashEnabled && ldromBitClear)
            apromLast = dfbadr - 1;
    } else if (part.isPike && part.dataFlashInAprom && dataFlashEnabled) {
        apromLast = std::int64_t{part.apromLastAddress} + 256 * (std::int64_t{c[1]} - 64);
    }
    plan.apromLast = boundLast(apromLast);

    std::int64_t dataFlashLast = std::int64_t{part.dataFlashSize} - 1;
    if (part.is32Bit && part.dataFlashInAprom) {
        dataFlashLast = limit - dfbadr - 1;
        // The job's own CONFIG0 low byte is byte 7 of configBytes.
        if (!bit(jobConfig[7], 0) && !bit(jobConfig[7], 2))
            dataFlashLast = std::int64_t{part.apromLastAddress} - dfbadr + 0x1000;
    } else if (part.isPike && part.dataFlashInAprom) {
        dataFlashLast = 0x3FFF - 256 * std::int64_t{c[1]};
    }
    plan.dataFlashLast = boundLast(dataFlashLast);

    plan.dataFlashStartHigh = byteOf(part.dataFlashStart, 16);
    plan.dataFlashStartMid = byteOf(part.dataFlashStart, 8);
    if (part.is32Bit && part.dataFlashInAprom) {
        plan.dataFlashStartHigh = c[6];
        plan.dataFlashStartMid = c[5];
    } else if (part.isPike && part.dataFlashInAprom) {
        plan.dataFlashStartHigh = 0;
        plan.dataFlashStartMid = c[1];
    }

    plan.readDataFlash = part.hasDataFlash;
    if (part.is32Bit && part.dataFlashInAprom && (!dataFlashEnabled || limit <= dfbadr))
        plan.readDataFlash = false;
    if (part.isPike && part.dataFlashInAprom && !dataFlashEnabled)
        plan.readDataFlash = false;
    return plan;
}

bool socketConnect(ProgrammerSession& session, int socket) {
    if (socket < 1 || socket > 4) {
        showFail(session.op(), steps::syncErrorText(socket));
        return false;
    }
    const auto connectCommand =
        static_cast<std::uint8_t>(command::kGangConnectSocket1 + socket - 1);
    session.lastCommand = connectCommand;
    if (!session.sendCommandByte(connectCommand))
        return false;
    session.pause(kBytePauseMs);
    if (!session.expectGangAck())
        return false;
    // The unit answers with its socket number once it is connected, which may take a while.
    return receiveGangSync(session, static_cast<std::uint8_t>(socket), true);
}

bool prepareGangSocket(ProgrammerSession& session, ReadBackState& readBack) {
    const int current =
        readBack.socketChoice >= 1 && readBack.socketChoice <= 4 ? readBack.socketChoice : 1;
    const int chosen = session.op().chooseSocket(current);
    readBack.socketChoice = chosen >= 1 && chosen <= 4 ? chosen : current;
    if (!session.searchGangProgrammer())
        return false;
    if (!session.gangFirmwareReady())
        return false;
    return socketConnect(session, readBack.socketChoice);
}

bool readWorker(ProgrammerSession& session, ReadBackState& readBack) {
    if (!session.searchProgrammer())
        return false;
    // A programmer that took new firmware goes on; one whose load failed is not used.
    if (session.checkFirmwareVersion() == ProgrammerSession::FirmwareCheck::Failed)
        return false;
    session.lastCommand = command::kReadChip;
    if (!session.sendCommandByte(command::kReadChip) || !session.expectAck())
        return false;
    if (session.job().icpMode)
        return readChipContents(session, readBack);
    return ispReadConfig(session, readBack);
}

bool readChipContents(ProgrammerSession& session, ReadBackState& readBack) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    const PartRecord& part = job.part();
    const bool verifying = readBack.readForVerifying;

    std::fill(readBack.aprom.begin(), readBack.aprom.end(), 0xFF);
    std::fill(readBack.dataFlash.begin(), readBack.dataFlash.end(), 0xFF);
    std::fill(readBack.ldrom.begin(), readBack.ldrom.end(), 0xFF);
    readBack.config.fill(0xFF);

    if (!session.sendPaced({byteOf(job.partIndex, 0), byteOf(job.partIndex, 8), part.algoParamA,
                            part.algoParamB, byteOf(part.deviceId, 8), byteOf(part.deviceId, 0),
                            part.algoParamC}))
        return false;
    if (part.is32Bit || part.isPike) {
        std::array<std::uint8_t, 8> chip{};
        if (!session.receiveBlock(chip.data(), 8))
            return false;
        readBack.chipConfig = chip;
    }

    const IcpReadPlan plan = planIcpRead(part, job.configBytes, readBack.chipConfig, job.readLimit);
    job.readLimit = plan.readLimit;
    readBack.apromReadLast = plan.apromLast;
    readBack.dataFlashReadLast = plan.dataFlashLast;
    const std::uint32_t a = plan.apromLast;
    const std::uint32_t d = plan.dataFlashLast;
    const std::uint32_t l = part.ldromLastAddress;
    if (!session.sendPaced({byteOf(a, 16), byteOf(a, 8), byteOf(a, 0), byteOf(d, 16), byteOf(d, 8),
                            byteOf(d, 0), byteOf(l, 8), byteOf(l, 0), plan.dataFlashStartHigh,
                            plan.dataFlashStartMid}))
        return false;

    if (!session.receiveByte(session.replyByte))
        return false;
    switch (session.replyByte) {
        case kChipNormal:
            if (!session.sendCommandByte(0x00))
                return false;
            break;
        case kChipLocked: {
            const bool hidesAll = part.is32Bit || part.isPike;
            if (hidesAll)
                noteFailureClass(op, FailureClass::Chip);
            else
                noteNotice(op);
            showWarning(op, hidesAll || part.isTern ? kLocked : kPreviouslyLocked);
            if (hidesAll)
                readBack.readComplete = false;
            if (!session.sendCommandByte(0x00) || hidesAll)
                return false;
            // The programmer answers 0xFF for whatever the lock hides; the read goes on.
            break;
        }
        case kChipWrongId:
            readBack.readComplete = false;
            showFail(op, kDeviceIdError);
            session.sendCommandByte(0x00);
            return false;
        default:
            break;  // no answer is sent, and the read goes on
    }

    op.setStatus(verifying ? "Read APROM for verifying..." : "Read APROM...");
    const std::uint32_t apromBlocks = readBackBytes(a) / kApromBlock;
    steps::countTicks(op, apromBlocks);
    for (std::uint32_t tick = 0; tick < apromBlocks; ++tick) {
        if (!session.receiveBlock(readBack.aprom.data() + tick * kApromBlock, kApromBlock))
            return false;
        op.stepProgress();
    }

    readBack.dataFlashReadValid = plan.readDataFlash;
    if (!session.sendCommandByte(plan.readDataFlash ? kReadRegion : kSkipRegion))
        return false;
    if (plan.readDataFlash) {
        op.setStatus(verifying ? "Read DataFlash for verifying..." : "Read DataFlash...");
        const std::uint32_t blocks = readBackBytes(d) / kDataFlashBlock;
        steps::countTicks(op, blocks);
        for (std::uint32_t tick = 0; tick < blocks; ++tick) {
            std::uint8_t* place = readBack.dataFlash.data() + tick * kDataFlashBlock;
            if (!session.receiveBlock(place, kDataFlashBlock))
                return false;
            op.stepProgress();
        }
    }

    readBack.ldromReadValid = part.hasLdrom;
    if (!session.sendCommandByte(part.hasLdrom ? kReadRegion : kSkipRegion))
        return false;
    if (part.hasLdrom) {
        op.setStatus(verifying ? "Read LDROM for verifying..." : "Read LDROM...");
        const std::uint32_t blocks = std::min(l + 1, kImageCapacity) / kLdromBlock;
        steps::countTicks(op, blocks);
        for (std::uint32_t tick = 0; tick < blocks; ++tick) {
            if (!session.receiveBlock(readBack.ldrom.data() + tick * kLdromBlock, kLdromBlock))
                return false;
            op.stepProgress();
        }
    }

    op.setStatus("Read CONFIG...");
    steps::countTicks(op, 1);
    std::array<std::uint8_t, 8> stream{};
    if (!session.receiveBlock(stream.data(), 8))
        return false;
    readBack.config = configBytesFromStream(stream);
    readBack.chipConfigPartIndex = job.partIndex;
    op.stepProgress();
    resetProgress(op);

    if (!verifying) {
        readBack.chipConfig = stream;
        op.showReadBack(readBack, job.partIndex);
    }
    return true;
}

}  // namespace tarnel

#include "operations/chip_check.h"

#include <cstdio>

#include "core/outcome_reporter.h"

namespace tarnel {

namespace {

constexpr std::uint32_t kFirstCheckedPart = 136;
constexpr std::uint32_t kLastCheckedPart = 147;
constexpr std::uint8_t kChipLocked = 1;
constexpr std::uint8_t kChipWrongId = 2;
constexpr std::uint32_t kTrimBytes = 5;

std::uint8_t byteOf(std::uint32_t value, int shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

}  // namespace

bool chipCheckApplies(const ProgrammingJob& job) {
    return job.partIndex >= kFirstCheckedPart && job.partIndex <= kLastCheckedPart &&
           job.part().isPike;
}

bool chipCheckWorker(ProgrammerSession& session, ReadBackState& readBack) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    const PartRecord& part = job.part();
    if (!session.searchProgrammer())
        return false;
    if (session.checkFirmwareVersion() == ProgrammerSession::FirmwareCheck::Failed)
        return false;
    session.lastCommand = command::kChipCheck;
    if (!session.sendCommandByte(command::kChipCheck) || !session.expectAck())
        return false;
    if (!session.sendPaced({byteOf(job.partIndex, 0), byteOf(job.partIndex, 8), part.algoParamA,
                            part.algoParamB, byteOf(part.deviceId, 8), byteOf(part.deviceId, 0),
                            part.algoParamD}))
        return false;
    if (!session.receiveByte(session.replyByte))
        return false;

    switch (session.replyByte) {
        case 0:
            if (!session.sendCommandByte(0x00))
                return false;
            break;
        case kChipLocked:
            noteFailureClass(op, FailureClass::Chip);
            showWarning(op, "Chip was locked !");
            readBack.readComplete = false;
            session.sendCommandByte(0x00);
            return false;
        case kChipWrongId:
            readBack.readComplete = false;
            showFail(op, "Device ID error !\nPlease select the correct Part No.");
            session.sendCommandByte(0x00);
            return false;
        default:
            break;  // an undefined status: no answer, the trim bytes follow
    }

    if (!session.receiveBlock(session.replyBuffer.data(), kTrimBytes))
        return false;
    const auto& t = session.replyBuffer;
    char text[64];
    std::snprintf(text, sizeof text, "TRIM0~4=0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", t[0], t[1], t[2],
                  t[3], t[4]);
    noteResult(op);
    debugMessage(op, text);
    return true;
}

}  // namespace tarnel

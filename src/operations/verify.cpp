#include "operations/verify.h"

#include <algorithm>

#include "image/size_checks.h"
#include "operations/read_chip.h"
#include "operations/step_helpers.h"

namespace tarnel {

namespace {

constexpr std::string_view kApromPass = "Verify APROM ==> PASS !\n";
constexpr std::string_view kApromFail = "Verify APROM ==> FAIL !\n";

std::uint8_t byteOf(std::uint32_t value, int shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

// The ISP method: the request, then each page of the APROM image answered by one byte
// (0: the chip holds the same bytes).
bool ispVerify(ProgrammerSession& session) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    const ImageBuffer& image = job.imageAprom;
    const std::uint32_t a = image.lastAddress;
    if (!session.sendPaced({byteOf(job.partIndex, 0), job.part().legacyChipCode, byteOf(a, 16),
                            byteOf(a, 8), byteOf(a, 0), job.buildFlags()}))
        return false;

    // Never past the image buffer, whatever the lengths say.
    const std::uint32_t pages =
        std::min<std::uint32_t>(image.lengthHigh, kImageCapacity / kBlockSize);
    const std::uint32_t tail =
        pages * kBlockSize + image.lengthLow <= kImageCapacity ? image.lengthLow : 0;
    op.setStatus("Verify APROM...");
    steps::countTicks(op, pages + (tail != 0 ? 1 : 0));
    if (!session.expectAck())
        return false;

    auto verifyPage = [&](std::uint32_t offset, std::uint32_t count) {
        std::uint8_t answer = 0;
        if (!session.sendBlock(image.data.data() + offset, count) || !session.receiveByte(answer))
            return false;
        if (answer != 0) {
            showFail(op, kApromFail);
            return false;
        }
        op.stepProgress();
        return true;
    };
    for (std::uint32_t page = 0; page < pages; ++page) {
        if (!verifyPage(page * kBlockSize, kBlockSize))
            return false;
    }
    if (tail != 0 && !verifyPage(pages * kBlockSize, tail))
        return false;
    showPass(op, kApromPass, job.productionMode);
    return true;
}

// "PASS" or "FAIL" line of one region: the image against the same offsets of its read-back.
std::string regionLine(std::string_view region, const ImageBuffer& image,
                       const std::vector<std::uint8_t>& readBack, bool& pass) {
    const std::uint32_t length =
        std::min({image.length, kImageCapacity, static_cast<std::uint32_t>(readBack.size())});
    const bool same = std::equal(image.data.begin(), image.data.begin() + length, readBack.begin());
    pass = pass && same;
    return "Verify " + std::string(region) + (same ? " ==> PASS !\n" : " ==> FAIL !\n");
}

}  // namespace

VerifyVerdict icpVerdict(const ProgrammingJob& job, const ReadBackState& readBack) {
    VerifyVerdict verdict;
    if (job.updateAprom)
        verdict.text += regionLine("APROM", job.imageAprom, readBack.aprom, verdict.pass);
    if (job.updateDataFlash)
        verdict.text +=
            regionLine("DataFlash", job.imageDataFlash, readBack.dataFlash, verdict.pass);
    if (job.updateLdrom)
        verdict.text += regionLine("LDROM", job.imageLdrom, readBack.ldrom, verdict.pass);
    if (job.updateConfig) {
        // Compared in the configBytes arrangement, where stream byte k is byte 7 - k: all
        // eight bytes of a 32-bit part, CONFIG0 (stream bytes 0..3) of a Pike part, else the
        // two bytes that come first on the wire.
        const PartRecord& part = job.part();
        const std::size_t first = part.is32Bit ? 0 : part.isPike ? 4 : 6;
        const bool same = std::equal(job.configBytes.begin() + first, job.configBytes.end(),
                                     readBack.config.begin() + first);
        verdict.pass = verdict.pass && same;
        verdict.text += same ? "Verify CONFIG ==> PASS !" : "Verify CONFIG ==> FAIL !";
    }
    return verdict;
}

bool icpVerify(ProgrammerSession& session, ReadBackState& readBack) {
    readBack.readComplete = true;
    readBack.readForVerifying = true;
    bool read = false;
    {
        steps::OnExit clearVerifying([&readBack] { readBack.readForVerifying = false; });
        read = readChipContents(session, readBack);
    }
    // A read that stopped has shown why (a link failure, a locked chip or a wrong device id);
    // a verdict over a partly read chip would only mislead.
    if (!read || !readBack.readComplete)
        return false;
    const VerifyVerdict verdict = icpVerdict(session.job(), readBack);
    if (!verdict.pass) {
        showFail(session.op(), verdict.text);
        return false;
    }
    showPass(session.op(), verdict.text, session.job().productionMode);
    return true;
}

bool verifyWorker(ProgrammerSession& session, ReadBackState& readBack) {
    ProgrammingJob& job = session.job();
    if (!job.icpMode && !checkApromSize(job, session.op()))
        return false;
    if (!session.searchProgrammer())
        return false;
    if (session.checkFirmwareVersion() == ProgrammerSession::FirmwareCheck::Failed)
        return false;
    session.setLastCommand(command::kVerifyChips);
    if (!session.sendCommandByte(command::kVerifyChips) || !session.expectAck())
        return false;
    if (job.icpMode)
        return icpVerify(session, readBack);
    return ispVerify(session);
}

}  // namespace tarnel

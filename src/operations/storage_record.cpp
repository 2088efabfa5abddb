#include "operations/storage_record.h"

#include <algorithm>

namespace tarnel {

std::array<std::uint8_t, 2> dataFlashBase(const PartRecord& part,
                                          const std::array<std::uint8_t, 8>& configBytes) {
    if (part.legacyConfig && part.dataFlashInAprom)
        return {0x01, 0x00};
    if (part.is32Bit && part.dataFlashInAprom)
        return {configBytes[1], configBytes[2]};
    if (part.isPike && part.dataFlashInAprom)
        return {0x00, configBytes[6]};
    if (part.isTern)
        return {0x01, 0x02};
    return {static_cast<std::uint8_t>(part.dataFlashStart >> 16),
            static_cast<std::uint8_t>(part.dataFlashStart >> 8)};
}

std::array<std::uint8_t, kRecordByteFields> storageRecordFields(ProgrammingJob& job) {
    const PartRecord& part = job.part();
    const ImageBuffer& aprom = job.imageAprom;
    const ImageBuffer& dataFlash = job.imageDataFlash;
    const ImageBuffer& ldrom = job.imageLdrom;
    const auto& config = job.configBytes;
    const auto base = dataFlashBase(part, config);
    const bool noLimit = !job.usageLimitEnabled;
    const std::uint8_t gangByte = job.gangMode && job.gangVerifyOnly ? 0xFF : 0x00;

    return {
        static_cast<std::uint8_t>(job.partIndex),  // 1, 2: low byte first
        static_cast<std::uint8_t>(job.partIndex >> 8),
        part.legacyChipCode,  // 3
        aprom.headerLastAddress[2],
        aprom.headerLastAddress[1],
        aprom.headerLastAddress[0],
        aprom.headerChecksum[3],
        aprom.headerChecksum[2],
        aprom.headerChecksum[1],
        aprom.headerChecksum[0],  // 7..10
        aprom.fileMinute,
        aprom.fileSecond,
        dataFlash.headerLastAddress[2],
        dataFlash.headerLastAddress[1],
        dataFlash.headerLastAddress[0],  // 13..15
        dataFlash.headerChecksum[3],
        dataFlash.headerChecksum[2],
        dataFlash.headerChecksum[1],
        dataFlash.headerChecksum[0],  // 16..19
        dataFlash.fileMinute,
        dataFlash.fileSecond,
        ldrom.headerLastAddress[1],
        ldrom.headerLastAddress[0],  // 22, 23
        ldrom.headerChecksum[2],
        ldrom.headerChecksum[1],
        ldrom.headerChecksum[0],  // 24..26
        ldrom.fileMinute,
        ldrom.fileSecond,
        config[7],
        config[6],
        config[5],
        config[4],
        config[3],
        config[2],
        config[1],
        config[0],         // 29..36
        job.buildFlags(),  // 37
        static_cast<std::uint8_t>(part.apromPages),
        static_cast<std::uint8_t>(part.dataFlashStartPage),
        part.algoParamA,
        part.algoParamB,
        static_cast<std::uint8_t>(part.deviceId >> 8),
        static_cast<std::uint8_t>(part.deviceId),
        part.algoParamC,
        part.algoParamD,
        noLimit ? std::uint8_t{0xFF} : job.usageTimesHigh,  // 46, 47
        noLimit ? std::uint8_t{0xFF} : job.usageTimesLow,
        base[0],
        base[1],                                                                  // 48, 49
        part.algoFlag,                                                            // 50
        gangByte,                                                                 // 51
        static_cast<std::uint8_t>(part.dataFlashStart == 0x1F000 ? 0x00 : 0xFF),  // 52
    };
}

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> zeroFilledText(std::string_view text) {
    std::array<std::uint8_t, N> field{};
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
    return field;
}

}  // namespace

std::array<std::uint8_t, kPartNumberFieldSize> partNumberField(std::string_view partNumber) {
    return zeroFilledText<kPartNumberFieldSize>(partNumber);
}

std::array<std::uint8_t, kFileNameFieldSize> fileNameField(std::string_view name) {
    return zeroFilledText<kFileNameFieldSize>(name);
}

void startProgress(Operator& op, int ticks) {
    op.setProgressRange(ticks);
    op.setProgressStep(1);
    op.setProgressPosition(0);
}

int pageTicks(const ImageBuffer& image) {
    return 2 * static_cast<int>(image.lengthHigh + (image.lengthLow != 0 ? 1 : 0));
}

}  // namespace tarnel

#include "isp/boot_loader.h"

#include <algorithm>

namespace tarnel {

std::uint16_t blockSum(const std::uint8_t* data, std::uint32_t count) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        sum += data[i];
    return static_cast<std::uint16_t>(sum);
}

bool BootLoader::sendByte(std::uint8_t value) {
    return finish(link_.writeByte(value));
}

bool BootLoader::sendBlock(const std::uint8_t* data, std::uint32_t count) {
    return finish(link_.writeBytes(data, count));
}

bool BootLoader::receiveByte(std::uint8_t& place) {
    return finish(link_.readByte(place));
}

bool BootLoader::expectAccepted() {
    std::uint8_t reply = 0;
    return receiveByte(reply) && reply == isp::kAccepted;
}

bool BootLoader::expectDone() {
    std::uint8_t reply = 0;
    return receiveByte(reply) && reply == isp::kDone;
}

bool BootLoader::sendConfig(const std::array<std::uint8_t, 8>& bytes, bool& eraseAnnounced) {
    if (!sendByte(isp::kWriteConfig) || !expectAccepted())
        return false;
    for (int i = 7; i >= 0; --i) {
        if (!sendByte(bytes[static_cast<std::size_t>(i)]))
            return false;
        clock_.sleepMs(isp::kConfigBytePauseMs);
    }
    std::uint8_t first = 0;
    if (!receiveByte(first))
        return false;
    eraseAnnounced = first == isp::kEraseAnnounced;
    return true;
}

bool BootLoader::startErase(Region region) {
    return sendByte(region == Region::Aprom ? isp::kEraseAprom : isp::kEraseDataFlash) &&
           expectAccepted();
}

bool BootLoader::awaitErased() {
    link_.setTimeouts(kEraseTimeouts);
    const bool erased = expectDone();
    link_.setTimeouts(kStandardTimeouts);
    return erased;
}

bool BootLoader::startProgram(Region region) {
    if (!sendByte(region == Region::Aprom ? isp::kProgramAprom : isp::kProgramDataFlash))
        return false;
    clock_.sleepMs(isp::kFramePauseMs);
    return expectAccepted();
}

bool BootLoader::programBlock(Region region, const std::uint8_t* data, bool fastProtocol) {
    std::array<std::uint8_t, isp::kBlockBytes + 3> frame{};
    const std::uint16_t sum = blockSum(data, isp::kBlockBytes);
    frame[0] = static_cast<std::uint8_t>(isp::kBlockBytes);
    std::copy_n(data, isp::kBlockBytes, frame.begin() + 1);
    frame[isp::kBlockBytes + 1] = static_cast<std::uint8_t>(sum >> 8);
    frame[isp::kBlockBytes + 2] = static_cast<std::uint8_t>(sum & 0xFF);

    if (!startProgram(region))
        return false;
    if (region == Region::Aprom || fastProtocol) {
        if (!sendBlock(frame.data(), static_cast<std::uint32_t>(frame.size())))
            return false;
    } else {
        if (!sendByte(frame[0]))
            return false;
        clock_.sleepMs(isp::kFramePauseMs);
        if (!sendBlock(frame.data() + 1, static_cast<std::uint32_t>(frame.size() - 1)))
            return false;
    }
    return pauseThenExpectDone(isp::kFramePauseMs);
}

bool BootLoader::pauseThenExpectDone(std::uint32_t pauseMs) {
    const std::uint64_t pauseEndUs = clock_.nowUs() + std::uint64_t{pauseMs} * 1000;
    const bool done = expectDone();
    if (clock_.nowUs() < pauseEndUs)
        clock_.sleepUntilUs(pauseEndUs);
    return done;
}

bool BootLoader::programLastBlock(Region region, const std::uint8_t* data, std::uint32_t count) {
    const std::uint16_t sum = blockSum(data, count);
    if (!startProgram(region) || !sendByte(static_cast<std::uint8_t>(count)))
        return false;
    clock_.sleepMs(isp::kFramePauseMs);
    if (!sendBlock(data, count))
        return false;
    clock_.sleepMs(isp::kLastBlockDataPauseMs);
    if (!sendByte(static_cast<std::uint8_t>(sum >> 8)))
        return false;
    clock_.sleepMs(isp::kFramePauseMs);
    if (!sendByte(static_cast<std::uint8_t>(sum & 0xFF)))
        return false;
    return pauseThenExpectDone(isp::kFramePauseMs);
}

}  // namespace tarnel

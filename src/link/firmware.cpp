// Programmer firmware: the files, their preparation and the two load protocols.

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "core/atomic_file.h"
#include "core/outcome_reporter.h"
#include "link/programmer_session.h"

namespace tarnel {

namespace {

constexpr std::string_view kDontDisconnect =
    "!!! Note: Don't disconnect the Programmer while updating is in process...";
constexpr std::string_view kStorageChecksumError = "Programmer's storage checksum error !";
constexpr std::string_view kUpdateError = "Update programmer error !";
constexpr std::string_view kUpdateGangError = "Update Gang Programmer error !";
constexpr std::string_view kFirmwareUpdated = "Programmer's firmware is successfully updated !";

// Byte ranges of a single programmer's firmware that go out complemented; the files hold
// them in the form this step expects.
struct ByteRange {
    std::size_t first;
    std::size_t last;
};
constexpr ByteRange kComplementedRanges[] = {{0x0003, 0x00FF}, {0x0803, 0x08FF}, {0x2803, 0x28FF}};

constexpr int kGangBlocks = static_cast<int>(kGangFirmwareSize / kBlockSize);
constexpr int kGangMidMarkerAfterBlock = 7;

}  // namespace

std::vector<std::uint8_t> prepareSingleFirmware(std::vector<std::uint8_t> file) {
    for (const auto& range : kComplementedRanges) {
        for (std::size_t i = range.first; i <= range.last && i < file.size(); ++i)
            file[i] = static_cast<std::uint8_t>(0xFF - file[i]);
    }
    return file;
}

std::vector<std::uint8_t> prepareGangFirmware(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> image(kGangFirmwareSize, 0xFF);
    std::copy_n(file.begin(), std::min(file.size(), image.size()), image.begin());
    return image;
}

std::uint32_t byteSum(const std::vector<std::uint8_t>& bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), std::uint32_t{0});
}

std::string ProgrammerSession::firmwarePath(std::string_view fileName) const {
    if (!firmwareDirectory_.empty())
        return (std::filesystem::path(firmwareDirectory_) / fileName).string();
    std::filesystem::path directory = job_.workDirectory.empty() ? "." : job_.workDirectory;
    std::filesystem::path path = directory / fileName;
    std::error_code error;
    if (!firmwareFallbackDirectory_.empty() && !std::filesystem::exists(path, error)) {
        std::filesystem::path installed =
            std::filesystem::path(firmwareFallbackDirectory_) / fileName;
        if (std::filesystem::exists(installed, error))
            path = std::move(installed);
    }
    return path.string();
}

bool ProgrammerSession::readFirmwareFile(const std::string& path, std::size_t limit,
                                         std::vector<std::uint8_t>& bytes) {
    // An oversized file is refused before it is read; an empty one would load nothing.
    switch (readWholeFile(path, bytes, limit)) {
        case ReadResult::OpenFailed:
        case ReadResult::NotRegular:
            noteFailureClass(op_, FailureClass::Input);
            showFail(
                op_, path + " cannot be opened !",
                describeReadFailure(ReadResult::OpenFailed, path) +
                    ". Put the programmer's firmware files beside the program" +
                    (firmwareFallbackDirectory_.empty() ? std::string()
                                                        : " or in " + firmwareFallbackDirectory_) +
                    ", then try again.");
            return false;
        case ReadResult::TooLarge:
            noteFailureClass(op_, FailureClass::Input);
            showFail(op_, path + " is larger than " + std::to_string(limit) +
                              " bytes and cannot be loaded !");
            return false;
        case ReadResult::Ok:
            break;
    }
    if (bytes.empty()) {
        noteFailureClass(op_, FailureClass::Input);
        showFail(op_, path + " is empty !");
        return false;
    }
    return true;
}

bool ProgrammerSession::updateFirmware() {
    const ProgrammerKindRow* row = rowOfVariant(firmwareVariant_);
    const std::string path = firmwarePath(row != nullptr ? row->firmwareFile : "");
    std::vector<std::uint8_t> file;
    if (!readFirmwareFile(path, kFirmwareCapacity, file))
        return false;

    const std::vector<std::uint8_t> image = prepareSingleFirmware(std::move(file));
    const std::uint32_t sum = byteSum(image);
    const auto lastAddress = static_cast<std::uint32_t>(image.size() - 1);
    auto byteOf = [](std::uint32_t value, int shift) {
        return static_cast<std::uint8_t>(value >> shift);
    };

    lastCommand_ = command::kLoadFirmware;
    if (!sendCommandByte(command::kLoadFirmware))
        return false;
    pause(kBytePauseMs);
    if (!expectAck())
        return false;
    if (!sendPaced({byteOf(lastAddress, 8), byteOf(lastAddress, 0), byteOf(sum, 16), byteOf(sum, 8),
                    byteOf(sum, 0)}))
        return false;
    pause(kFirmwareHeaderPauseMs);
    if (!expectAck())
        return false;

    op_.setStatus(kDontDisconnect);
    const std::size_t wholeBlocks = image.size() / kBlockSize;
    const std::size_t remainder = image.size() % kBlockSize;
    const std::size_t blocksSent = wholeBlocks + (remainder != 0 ? 1 : 0);
    op_.setProgressRange(static_cast<int>(2 * blocksSent));
    op_.setProgressStep(1);
    op_.setProgressPosition(0);

    // First half: each block and its acknowledge as received.
    for (std::size_t offset = 0; offset < image.size(); offset += kBlockSize) {
        const auto count = static_cast<std::uint32_t>(std::min(kBlockSize, image.size() - offset));
        if (!sendBlock(image.data() + offset, count))
            return false;
        if (!expectAck())
            return false;
        op_.stepProgress();
    }
    // Second half: one acknowledge per block as written.
    for (std::size_t block = 0; block < blocksSent; ++block) {
        if (!expectAck())
            return false;
        op_.stepProgress();
    }
    std::uint8_t reply[3] = {};
    if (!receiveBlock(reply, 3))
        return false;
    if (reply[0] != byteOf(sum, 16) || reply[1] != byteOf(sum, 8) || reply[2] != byteOf(sum, 0)) {
        showFail(op_, kStorageChecksumError);
        return false;
    }
    pause(kAfterFirmwareLoadMs);
    showProgrammerType();
    resetProgress(op_);
    return true;
}

bool ProgrammerSession::updateGangFirmware() {
    const std::string path = firmwarePath(kGangFirmwareFile);
    std::vector<std::uint8_t> file;
    // The wire carries exactly 4096 bytes: a longer file would lose its tail, so it is refused.
    if (!readFirmwareFile(path, kGangFirmwareSize, file))
        return false;
    const std::vector<std::uint8_t> image = prepareGangFirmware(file);

    lastCommand_ = command::kLoadFirmware;
    if (!sendCommandByte(command::kLoadFirmware))
        return false;
    pause(kBytePauseMs);
    if (!expectGangAck())
        return false;

    op_.setStatus(kDontDisconnect);
    op_.setProgressRange(kGangBlocks);
    op_.setProgressStep(1);
    op_.setProgressPosition(0);
    for (int block = 0; block < kGangBlocks; ++block) {
        if (!sendBlock(image.data() + block * kBlockSize, kBlockSize))
            return false;
        if (!expectGangAck())
            return false;
        op_.stepProgress();
        if (block == kGangMidMarkerAfterBlock) {
            if (!sendCommandByte(kGangFirmwareMidMarker))
                return false;
            pause(kBytePauseMs);
            pause(kGangMidMarkerPauseMs);
        }
    }
    pause(kAfterFirmwareLoadMs);
    return true;
}

// A version query that failed has shown its own FAIL box, and the version it leaves is an
// earlier one: the command stops rather than act on it.
ProgrammerSession::FirmwareCheck ProgrammerSession::checkFirmwareVersion() {
    if (!readFirmwareVersion())
        return FirmwareCheck::Failed;
    if (firmwareVersion_ == kCarriedFirmwareVersion)
        return FirmwareCheck::Current;
    if (updateFirmware())
        return FirmwareCheck::Reloaded;
    showFail(op_, kUpdateError);
    return FirmwareCheck::Failed;
}

ProgrammerSession::FirmwareCheck ProgrammerSession::checkGangFirmwareVersion() {
    if (!readGangFirmwareVersion())
        return FirmwareCheck::Failed;
    if (gangFwBelow0119_ || firmwareVersion_ == kCarriedFirmwareVersion)
        return FirmwareCheck::Current;
    if (updateGangFirmware())
        return FirmwareCheck::Reloaded;
    showFail(op_, kUpdateGangError);
    return FirmwareCheck::Failed;
}

bool ProgrammerSession::gangFirmwareReady() {
    switch (checkGangFirmwareVersion()) {
        case FirmwareCheck::Current:
            return true;
        case FirmwareCheck::Reloaded:
            return searchGangProgrammer();
        case FirmwareCheck::Failed:
            break;
    }
    return false;
}

bool ProgrammerSession::reloadFirmware() {
    job_.forceFirmwareUpdate = true;
    const bool found = searchProgrammer();
    job_.forceFirmwareUpdate = false;
    if (found)
        showPass(op_, kFirmwareUpdated, job_.productionMode);
    return found;
}

}  // namespace tarnel

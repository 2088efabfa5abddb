#include "sim/synthetic_firmware.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tarnel::sim {

std::vector<std::uint8_t> syntheticFirmware(std::uint8_t kind, std::uint16_t version,
                                            std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) + kind) & 0xFF);
    if (size >= 3) {
        image[0] = static_cast<std::uint8_t>(version >> 8);
        image[1] = static_cast<std::uint8_t>(version & 0xFF);
        image[2] = kind;
    }
    return image;
}

std::optional<FirmwareIdentity> identityOfFirmware(const std::vector<std::uint8_t>& image) {
    if (image.size() < 3 || rowOfKind(image[2]) == nullptr)
        return std::nullopt;
    return FirmwareIdentity{static_cast<std::uint16_t>(image[0] << 8 | image[1]), image[2]};
}

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    auto fail = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw std::runtime_error(path + ": " + what + ": " + reason);
    };
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot create");
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            ::close(fd);
            fail("cannot write");
        }
        written += static_cast<std::size_t>(put);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        fail("cannot flush");
    }
    if (::close(fd) != 0)
        fail("cannot close");
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        fail("cannot rename");
}

std::vector<std::string> writeSyntheticFirmwareFiles(const std::string& directory,
                                                     std::uint16_t version) {
    std::filesystem::create_directories(directory);
    std::vector<std::string> written;
    for (const auto& row : kProgrammerKinds) {
        const std::string path = (std::filesystem::path(directory) / row.firmwareFile).string();
        if (row.kind == kGangProgrammerKind) {
            writeFileAtomically(path, syntheticFirmware(row.kind, version, kSyntheticGangSize));
        } else {
            writeFileAtomically(path, syntheticFirmware(row.kind, version));
        }
        written.push_back(path);
    }
    return written;
}

}  // namespace tarnel::sim

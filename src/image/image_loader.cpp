#include "image/image_loader.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/atomic_file.h"
#include "image/hex_converter.h"

namespace tarnel {

namespace {

// Minute and second of the file's last modification, in local time.
void readFileTime(const std::string& path, ImageBuffer& image) {
    std::tm local{};
#if defined(_WIN32)
    struct _stat64 info {};
    if (_stat64(path.c_str(), &info) != 0)
        return;
    const std::time_t when = static_cast<std::time_t>(info.st_mtime);
    if (localtime_s(&local, &when) != 0)
        return;
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return;
    const std::time_t when = info.st_mtime;
    if (localtime_r(&when, &local) == nullptr)
        return;
#endif
    image.fileMinute = static_cast<std::uint8_t>(local.tm_min);
    image.fileSecond = static_cast<std::uint8_t>(local.tm_sec);
}

std::string openErrorText(ImageRegion region) {
    return "Open " + std::string(regionName(region)) + " file error !";
}

// A file that could not be read leaves no image behind: nothing of an older read may be
// shown or sent as if it were the file's.
bool rejectImage(ImageBuffer& image, ImageRegion region, Operator& op, const std::string& text,
                 const std::string& detail) {
    std::fill(image.data.begin(), image.data.end(), 0);
    image.length = 0;
    deriveImageFields(image, region);
    image.rejected = true;
    showFail(op, text, detail);
    return false;
}

bool reloadRegion(ProgrammingJob& job, ImageRegion region, Operator& op) {
    ImageBuffer& image = imageOf(job, region);
    if (image.isHex) {
        // Converted as it is read: only one piece of the text is held at a time.
        HexStreamConverter converter(0x00, image.data, op);
        if (const ReadResult read = feedHexFile(image.pathName, converter); read != ReadResult::Ok)
            return rejectImage(image, region, op, openErrorText(region),
                               describeReadFailure(read, image.pathName));
        readFileTime(image.pathName, image);
        std::uint32_t length = image.length;
        HexFailure failure;
        if (!converter.finish(length, &failure))
            return rejectImage(image, region, op, "Hex_to_Bin conversion failed !",
                               image.pathName + ", " + describeHexFailure(failure));
        image.length = length;
    } else {
        std::vector<std::uint8_t> bytes;
        if (const ReadResult read = readWholeFile(image.pathName, bytes, kImageCapacity);
            read != ReadResult::Ok)
            return rejectImage(image, region, op, openErrorText(region),
                               describeReadFailure(read, image.pathName));
        readFileTime(image.pathName, image);
        std::copy(bytes.begin(), bytes.end(), image.data.begin());
        std::fill(image.data.begin() + static_cast<std::ptrdiff_t>(bytes.size()), image.data.end(),
                  0);
        image.length = static_cast<std::uint32_t>(bytes.size());
    }
    deriveImageFields(image, region);
    image.rejected = false;
    return true;
}

}  // namespace

ReadResult feedHexFile(const std::string& path, HexStreamConverter& converter) {
    return readFileInPieces(path, kMaxHexFileSize,
                            [&converter](std::span<const std::uint8_t> piece, std::uint64_t) {
                                return converter.feed(piece);
                            });
}

ImageBuffer& imageOf(ProgrammingJob& job, ImageRegion region) {
    switch (region) {
        case ImageRegion::Aprom:
            return job.imageAprom;
        case ImageRegion::DataFlash:
            return job.imageDataFlash;
        case ImageRegion::Ldrom:
            break;
    }
    return job.imageLdrom;
}

const ImageBuffer& imageOf(const ProgrammingJob& job, ImageRegion region) {
    return imageOf(const_cast<ProgrammingJob&>(job), region);
}

bool& updateFlagOf(ProgrammingJob& job, ImageRegion region) {
    switch (region) {
        case ImageRegion::Aprom:
            return job.updateAprom;
        case ImageRegion::DataFlash:
            return job.updateDataFlash;
        case ImageRegion::Ldrom:
            break;
    }
    return job.updateLdrom;
}

std::string_view regionName(ImageRegion region) {
    switch (region) {
        case ImageRegion::Aprom:
            return "APROM";
        case ImageRegion::DataFlash:
            return "DataFlash";
        case ImageRegion::Ldrom:
            break;
    }
    return "LDROM";
}

std::optional<ImageRegion> regionOfTab(const ProgrammingJob& job, std::uint32_t tab) {
    switch (tab) {
        case 0:
            return ImageRegion::Aprom;
        case 1:
            return job.dataFlashTabShown ? ImageRegion::DataFlash : ImageRegion::Ldrom;
        case 2:
            return ImageRegion::Ldrom;
        default:
            return std::nullopt;
    }
}

bool isHexExtension(std::string_view extension) {
    if (extension.size() < 3)
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(extension[0]) == 'h' && lower(extension[1]) == 'e' && lower(extension[2]) == 'x';
}

void assignImageFile(ImageBuffer& image, ImageRegion region, std::string_view path) {
    image.pathName = std::string(path);
    const auto slash = path.find_last_of("/\\");
    image.fileName = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    const auto dot = image.fileName.find_last_of('.');
    if (dot == std::string::npos) {
        image.fileTitle = image.fileName;
        image.fileExt.clear();
    } else {
        image.fileTitle = image.fileName.substr(0, dot);
        image.fileExt = image.fileName.substr(dot + 1);
    }
    image.isHex = region != ImageRegion::DataFlash && isHexExtension(image.fileExt);
    image.shownName = image.fileName.substr(0, 63);
    image.loaded = true;
    image.fromProject = false;
}

bool chooseImageFile(ProgrammingJob& job, std::uint32_t tab, std::string_view path, Operator& op) {
    if (job.busy)
        return false;
    const auto region = regionOfTab(job, tab);
    if (!region) {
        showFail(op, "Load file buffer error !");
        return false;
    }
    if (path.empty())
        return false;
    assignImageFile(imageOf(job, *region), *region, path);
    reloadImages(job, op);
    updateFlagOf(job, *region) = true;
    return true;
}

void deriveImageFields(ImageBuffer& image, ImageRegion region) {
    const std::uint32_t length = std::min<std::uint32_t>(image.length, kImageCapacity);
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < length; ++i)
        sum += image.data[i];
    image.checksum = sum;
    image.lastAddress = image.length - 1;
    image.lengthLow = image.length & 0xFF;
    image.lengthHigh = image.length >> 8;

    // LDROM carries one byte fewer of each header copy.
    const std::size_t addressBytes = region == ImageRegion::Ldrom ? 2 : 3;
    const std::size_t checksumBytes = region == ImageRegion::Ldrom ? 3 : 4;
    image.headerLastAddress.fill(0);
    image.headerChecksum.fill(0);
    for (std::size_t i = 0; i < addressBytes; ++i) {
        image.headerLastAddress[i] = static_cast<std::uint8_t>(image.lastAddress >> (8 * i));
    }
    for (std::size_t i = 0; i < checksumBytes; ++i) {
        image.headerChecksum[i] = static_cast<std::uint8_t>(image.checksum >> (8 * i));
    }
}

bool reloadImages(ProgrammingJob& job, Operator& op) {
    bool allRead = true;
    for (ImageRegion region : kImageRegions) {
        if (!imageOf(job, region).loaded || reloadRegion(job, region, op))
            continue;
        allRead = false;
        // A region that is to be written stops the reload; the others must still be read,
        // so a command never uses an older copy of a file it is about to send.
        if (updateFlagOf(job, region))
            return false;
    }
    if (!allRead)
        return false;
    for (ImageRegion region : kImageRegions) {
        if (!updateFlagOf(job, region)) {
            imageOf(job, region).headerChecksum[0] = 0;
            imageOf(job, region).headerChecksum[1] = 0;
        }
    }
    std::uint16_t configSum = 0;
    for (std::uint8_t byte : job.configBytes)
        configSum = static_cast<std::uint16_t>(configSum + byte);
    if (!job.updateConfig)
        configSum = 0;
    job.imageAprom.configSum = {static_cast<std::uint8_t>(configSum & 0xFF),
                                static_cast<std::uint8_t>(configSum >> 8)};
    return true;
}

bool reloadImagesForCommand(ProgrammingJob& job, Operator& op) {
    reloadImages(job, op);
    for (ImageRegion region : kImageRegions) {
        if (updateFlagOf(job, region) && imageOf(job, region).loaded &&
            imageOf(job, region).rejected)
            return false;
    }
    return true;
}

ImageView showImage(const ProgrammingJob& job, ImageRegion region) {
    const ImageBuffer& image = imageOf(job, region);
    ImageView view;
    const std::uint32_t length = std::min<std::uint32_t>(image.length, kImageCapacity);
    view.bytes.assign(image.data.begin(), image.data.begin() + length);
    view.fileNameText =
        image.fromProject ? job.projectFileName + "\\" + image.shownName : image.pathName;
    char text[32];
    std::snprintf(text, sizeof text, "%u Bytes", static_cast<unsigned>(image.length));
    view.sizeText = text;
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(image.checksum & 0xFFFF));
    view.checksumText = text;
    view.sizeLabel = region == ImageRegion::DataFlash ? "Data Size:" : "Code Size:";
    if (image.rejected) {
        view.sizeText.clear();
        view.checksumText.clear();
    }
    return view;
}

ImageView clearImageView() {
    return ImageView{};
}

ImageView viewOfTab(const ProgrammingJob& job, std::uint32_t tab) {
    const auto region = regionOfTab(job, tab);
    if (!region || !imageOf(job, *region).loaded)
        return clearImageView();
    return showImage(job, *region);
}

}  // namespace tarnel

#include "image/project_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/atomic_file.h"
#include "image/byte_fields.h"
#include "image/image_loader.h"

namespace tarnel {

namespace {

using namespace fields;

// Header offsets.
constexpr std::size_t kSignatureLetter = 12;
constexpr std::size_t kPartNumber = 16;
constexpr std::size_t kPartNumberSize = 16;
constexpr std::size_t kProgrammerType = 32;
constexpr std::size_t kDataFlashPages = 33;
constexpr std::size_t kFlags = 35;
constexpr std::size_t kConfig0 = 40;
constexpr std::size_t kConfig1 = 44;
constexpr std::size_t kComPortName = 48;
constexpr std::size_t kUsageTimesHigh = 64;
constexpr std::size_t kUsageTimesLow = 65;
constexpr std::size_t kUsageLimitEnabled = 66;
constexpr std::size_t kSerialEnabled = 72;
constexpr std::size_t kSerialAddress = 74;
constexpr std::size_t kIncrement = 80;
constexpr std::size_t kSerialNumber = 88;
constexpr std::size_t kChipCounterEnabled = 96;
constexpr std::size_t kChipCounterDown = 97;
constexpr std::size_t kChipCounter = 98;
constexpr std::size_t kUartProtocol = 104;
constexpr AdvancedFieldPlaces kAdvancedFields{.usageTimes = kUsageTimesHigh,
                                              .usageLimitEnabled = kUsageLimitEnabled,
                                              .serialEnabled = kSerialEnabled,
                                              .serialAddress = kSerialAddress,
                                              .increment = kIncrement,
                                              .serialNumber = kSerialNumber,
                                              .chipCounterEnabled = kChipCounterEnabled,
                                              .chipCounterDown = kChipCounterDown,
                                              .chipCounter = kChipCounter,
                                              .uartProtocol = kUartProtocol};

// Region block offsets.
constexpr std::size_t kBlockName = 0;
constexpr std::size_t kBlockNameSize = 64;
constexpr std::size_t kBlockLength = 64;
constexpr std::size_t kBlockChecksum = 68;

// FLAGs bit of each region, in file order.
constexpr std::uint8_t kRegionBits[] = {0x08, 0x04, 0x02};

// Project files beyond this are not ours; the largest real one is under 800 KB.
constexpr std::uint64_t kMaxProjectFileSize = 16u << 20;

std::uint32_t byteSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return sum;
}

// A zero-padded text field: the characters before the first zero byte, at most size of them.
std::string textField(std::span<const std::uint8_t> in, std::size_t at, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size && in[at + i] != 0; ++i)
        text += static_cast<char>(in[at + i]);
    return text;
}

void putText(std::vector<std::uint8_t>& out, std::size_t at, std::string_view text,
             std::size_t maxChars) {
    const std::size_t n = std::min(text.size(), maxChars);
    std::memcpy(out.data() + at, text.data(), n);
}

bool refuse(std::string* why, const std::string& reason) {
    if (why != nullptr)
        *why = reason;
    return false;
}

std::string joinPath(const std::string& directory, const char* name) {
    if (directory.empty())
        return name;
    const char last = directory.back();
    return last == '/' || last == '\\' ? directory + name : directory + "/" + name;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string hexBytes(std::string_view label, const std::array<std::uint8_t, 8>& bytes,
                     std::size_t first) {
    char text[96];
    std::snprintf(text, sizeof text, "%.*s0x%02X 0x%02X 0x%02X 0x%02X",
                  static_cast<int>(label.size()), label.data(), bytes[first], bytes[first + 1],
                  bytes[first + 2], bytes[first + 3]);
    return text;
}

}  // namespace

std::vector<std::uint8_t> encodeProject(ProgrammingJob& job) {
    job.buildFlags();
    std::vector<std::uint8_t> out(kProjectHeaderSize, 0);
    putText(out, 0, kProjectSignature, 16);
    putText(out, kPartNumber, job.part().partNumber, kPartNumberSize);
    out[kProgrammerType] = job.programmerType;
    putU16(out, kDataFlashPages, job.dataFlashPages & 0xFFFF);
    out[kFlags] = job.flags;
    // CONFIG0 is bytes 7..4 and CONFIG1 bytes 3..0: each word least significant byte first.
    for (std::size_t i = 0; i < 4; ++i) {
        out[kConfig0 + i] = job.configBytes[7 - i];
        out[kConfig1 + i] = job.configBytes[3 - i];
    }
    std::memcpy(out.data() + kComPortName, job.comPortName.data(), job.comPortName.size());
    putAdvancedFields(out, kAdvancedFields, job);

    for (std::size_t r = 0; r < 3; ++r) {
        if ((job.flags & kRegionBits[r]) == 0)
            continue;
        const ImageBuffer& image = imageOf(job, kImageRegions[r]);
        const std::uint32_t length = std::min<std::uint32_t>(image.length, kImageCapacity);
        const auto bytes = std::span(image.data).first(length);
        const std::size_t at = out.size();
        out.resize(at + kProjectBlockHeadSize, 0);
        putText(out, at + kBlockName, image.shownName, kBlockNameSize - 1);
        putU32(out, at + kBlockLength, length);
        // The checksum always describes the bytes that follow it.
        putU32(out, at + kBlockChecksum, byteSum(bytes));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

bool decodeProject(std::span<const std::uint8_t> in, ProjectFile& project, std::string* why) {
    if (!has(in, kSignatureLetter, 1) || in[kSignatureLetter] != 'A') {
        return refuse(why, "signature letter at offset 12 is not 'A'");
    }
    if (!has(in, 0, kProjectHeaderSize))
        return refuse(why, "file shorter than its header");

    ProjectFile p;
    p.partNumber = textField(in, kPartNumber, kPartNumberSize);
    p.programmerType = in[kProgrammerType];
    p.dataFlashPages = getU16(in, kDataFlashPages);
    p.flags = in[kFlags];
    for (std::size_t i = 0; i < 4; ++i) {
        p.configBytes[7 - i] = in[kConfig0 + i];
        p.configBytes[3 - i] = in[kConfig1 + i];
    }
    std::memcpy(p.comPortName.data(), in.data() + kComPortName, p.comPortName.size());
    p.usageTimesHigh = in[kUsageTimesHigh];
    p.usageTimesLow = in[kUsageTimesLow];
    p.usageLimitEnabled = in[kUsageLimitEnabled] != 0;
    p.serialEnabled = in[kSerialEnabled] != 0;
    p.serialAddress = getU32(in, kSerialAddress);
    getSerial(in, kIncrement, p.incrementHigh, p.incrementLow);
    getSerial(in, kSerialNumber, p.serialHigh, p.serialLow);
    p.chipCounterEnabled = in[kChipCounterEnabled] != 0;
    p.chipCounterDown = in[kChipCounterDown] != 0;
    p.chipCounter = getU32(in, kChipCounter);
    p.uartFastProtocol = in[kUartProtocol] == 0x00;

    std::size_t at = kProjectHeaderSize;
    for (std::size_t r = 0; r < 3; ++r) {
        if ((p.flags & kRegionBits[r]) == 0)
            continue;
        const std::string name(regionName(kImageRegions[r]));
        if (!has(in, at, kProjectBlockHeadSize)) {
            return refuse(why, "file ends inside the " + name + " block head");
        }
        ProjectRegion& region = p.regions[r];
        region.present = true;
        region.shownName = textField(in, at + kBlockName, kBlockNameSize - 1);
        region.length = getU32(in, at + kBlockLength);
        region.checksum = getU32(in, at + kBlockChecksum);
        at += kProjectBlockHeadSize;
        if (region.length > kImageCapacity) {
            return refuse(why, name + " block claims more than 256 KiB");
        }
        if (!has(in, at, region.length)) {
            return refuse(why, "file ends inside the " + name + " image");
        }
        region.bytes.assign(in.begin() + static_cast<std::ptrdiff_t>(at),
                            in.begin() + static_cast<std::ptrdiff_t>(at + region.length));
        at += region.length;
        if (byteSum(region.bytes) != region.checksum) {
            return refuse(why, name + " image does not match its checksum");
        }
    }
    // The blocks end exactly at the end of the file: a length that is short by some bytes
    // (whose sum may still match when they are zeros) or anything appended is no project.
    if (at != in.size())
        return refuse(why, "bytes left after the last block");
    project = std::move(p);
    return true;
}

bool saveProject(ProgrammingJob& job, const std::string& path, Operator& op) {
    if (std::string error; !writeFileAtomically(path, encodeProject(job), &error)) {
        showFail(op, "Open file error !", "cannot write " + path + ": " + error);
        return false;
    }
    return true;
}

bool loadProject(ProgrammingJob& job, const std::string& path, Operator& op) {
    std::vector<std::uint8_t> bytes;
    const ReadResult read = readWholeFile(path, bytes, kMaxProjectFileSize);
    switch (read) {
        case ReadResult::Ok:
            break;
        case ReadResult::OpenFailed:
        case ReadResult::NotRegular:
            showFail(op, "Open file error !", describeReadFailure(read, path));
            return false;
        case ReadResult::TooLarge:
            showFail(op, "TPJ format error !", describeReadFailure(read, path));
            return false;
    }
    ProjectFile project;
    if (std::string why; !decodeProject(bytes, project, &why)) {
        showFail(op, "TPJ format error !", path + ": " + why);
        return false;
    }

    // Find the part in the rows of the file's mode, with rows 40..51 named as that mode
    // names them. Nothing of the job changes unless the part is found.
    const std::string partNumber = ChipCatalogue::nameAliases(project.partNumber);
    const std::uint8_t mode = project.programmerType & 0x0F;
    const bool outsideIcp = mode == kTypeIsp || mode == kTypeIspByCom;
    const bool wasMasked = job.catalogue.legacyListMasked();
    job.catalogue.setLegacyListMasked(mode != kTypeIspByCom);
    std::optional<std::uint32_t> index;
    if (!partNumber.empty())
        index = job.catalogue.findPart(partNumber, !outsideIcp);
    if (!index) {
        job.catalogue.setLegacyListMasked(wasMasked);
        showWarning(op, "TPJ's part is not found !",
                    "The project's part \"" + project.partNumber + "\" is not in the catalogue.");
        return false;
    }

    // Remember the part of the mode being left.
    if (outsideIcp && job.icpMode)
        job.savedIcpPartIndex = job.partIndex;
    if (mode == kTypeIcp && !job.icpMode)
        job.savedIspPartIndex = job.partIndex;
    job.partIndex = *index;
    // The gang bit as the file holds it; ISP by COM Port has no gang programmer.
    const bool gang = (project.programmerType & 0xF0) == kTypeGang && mode != kTypeIspByCom;
    job.programmerType = static_cast<std::uint8_t>(mode | (gang ? kTypeGang : 0));

    job.dataFlashPages = project.dataFlashPages;
    job.flags = project.flags;
    job.configBytes = project.configBytes;
    job.comPortName.fill(0);

    const bool noUsageTimes = project.usageTimesHigh == 0 && project.usageTimesLow == 0;
    job.usageTimesHigh = noUsageTimes ? 0xFF : project.usageTimesHigh;
    job.usageTimesLow = noUsageTimes ? 0xFF : project.usageTimesLow;
    job.usageLimitEnabled = project.usageLimitEnabled;
    job.serialEnabled = project.serialEnabled;
    job.serialAddress = project.serialAddress;
    job.incrementHigh = project.incrementHigh;
    job.incrementLow = project.incrementLow;
    job.chipCounterEnabled = project.chipCounterEnabled;
    job.chipCounterDown = project.chipCounterDown;
    job.uartFastProtocol = project.uartFastProtocol;
    // The serial number and the chip counter stay as the job has them.

    for (std::size_t r = 0; r < 3; ++r) {
        const ImageRegion region = kImageRegions[r];
        ImageBuffer& image = imageOf(job, region);
        const ProjectRegion& stored = project.regions[r];
        if (!stored.present) {
            image.loaded = false;
            continue;
        }
        const std::string workingFile = joinPath(job.workDirectory, kWorkingFileNames[r]);
        assignImageFile(image, region, workingFile);
        // A working file that already holds these bytes is left alone, so its modification
        // time (stored in the programmer with the image) stays and loading the same project
        // again does not make the programmer's setup look different. A working file that
        // cannot be written must not leave the region pointing at an older copy: with no
        // path, the next reload reports the region's open error.
        std::vector<std::uint8_t> existing;
        const bool unchanged =
            readWholeFile(workingFile, existing, kImageCapacity) == ReadResult::Ok &&
            existing == stored.bytes;
        if (!unchanged && !writeFileAtomically(workingFile, stored.bytes))
            image.pathName.clear();
        image.isHex = false;
        image.fromProject = true;
        image.shownName = stored.shownName;
        std::copy(stored.bytes.begin(), stored.bytes.end(), image.data.begin());
        std::fill(image.data.begin() + static_cast<std::ptrdiff_t>(stored.bytes.size()),
                  image.data.end(), 0);
        image.length = stored.length;
        deriveImageFields(image, region);
    }

    const std::uint8_t type = job.programmerType;
    job.icpMode = (type & 0x0F) == kTypeIcp;
    job.comPortIspMode = (type & 0x0F) == kTypeIspByCom;
    job.gangMode = (type & 0xF0) == kTypeGang;
    job.productionMode = (type & 0xF0) == kTypeProduction;
    job.separateApromErase = (job.flags & 0x40) != 0;
    job.updateIspDownload = (job.flags & 0x10) != 0;
    job.updateAprom = (job.flags & 0x08) != 0;
    job.updateDataFlash = (job.flags & 0x04) != 0;
    job.updateLdrom = (job.flags & 0x02) != 0;
    job.updateConfig = (job.flags & 0x01) != 0;
    job.projectFileName = baseName(path);
    return true;
}

std::vector<std::string> debugDump(ProgrammingJob& job) {
    std::vector<std::string> texts;
    char text[128];
    std::snprintf(text, sizeof text,
                  "ProgrammerType (0=ISP; 1=ICP; 2=ISPbyCOM; 4x=GangMode; 8x=ProductionMode) = "
                  "0x%02X",
                  job.programmerType);
    texts.emplace_back(text);
    texts.push_back("CategoryStr= " + job.categoryStr);
    texts.push_back("PartNo= " + std::string(job.part().partNumber));
    std::snprintf(text, sizeof text, "FLAGs= 0x%02X", job.buildFlags());
    texts.emplace_back(text);
    if (job.part().is32Bit) {
        texts.push_back(hexBytes("CONFIG0= ", job.configBytes, 4));
        texts.push_back(hexBytes("CONFIG1= ", job.configBytes, 0));
    } else {
        texts.push_back(hexBytes("CONFIG_3210= ", job.configBytes, 4));
        texts.push_back(hexBytes("CONFIG_7654= ", job.configBytes, 0));
    }
    return texts;
}

void showDebugDump(ProgrammingJob& job, Operator& op) {
    for (const std::string& text : debugDump(job))
        debugMessage(op, text);
}

}  // namespace tarnel

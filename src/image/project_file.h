#pragma once
// Project files (.TPJ): a whole programming setup with the images of its ticked regions,
// and the debug dump of the job's key values.
//
// Layout, little-endian: a 256-byte header (signature, part number, programmer type,
// DataFlash pages, FLAGs, CONFIG0, CONFIG1, port name, advanced settings), then a block for
// each region whose FLAGs bit is set (bit 3 APROM, bit 2 DataFlash, bit 1 LDROM, in that
// order): 64 bytes of name, length, checksum, 8 zero bytes, then the image bytes.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/operator.h"
#include "core/programming_job.h"

namespace tarnel {

inline constexpr std::size_t kProjectHeaderSize = 256;
inline constexpr std::size_t kProjectBlockHeadSize = 80;
inline constexpr char kProjectSignature[] = "Corvale TPJ A1.0";

// Working copies of a loaded project's images, in the working directory.
inline constexpr const char* kWorkingFileNames[] = {"_AP_file.BIN", "_DF_file.BIN", "_LD_file.BIN"};

struct ProjectRegion {
    bool present = false;
    std::string shownName;
    std::uint32_t length = 0;
    std::uint32_t checksum = 0;
    std::vector<std::uint8_t> bytes;
};

// A project file's content as stored, before it is applied to a job.
struct ProjectFile {
    std::string partNumber;
    std::uint8_t programmerType = 0;
    std::uint16_t dataFlashPages = 0;
    std::uint8_t flags = 0;
    std::array<std::uint8_t, 8> configBytes{};  // in the job's order
    std::array<char, 16> comPortName{};
    std::uint8_t usageTimesHigh = 0;
    std::uint8_t usageTimesLow = 0;
    bool usageLimitEnabled = false;
    bool serialEnabled = false;
    std::uint32_t serialAddress = 0;
    std::uint32_t incrementHigh = 0;
    std::uint32_t incrementLow = 0;
    std::uint32_t serialHigh = 0;
    std::uint32_t serialLow = 0;
    bool chipCounterEnabled = false;
    bool chipCounterDown = false;
    std::uint32_t chipCounter = 0;
    bool uartFastProtocol = false;
    std::array<ProjectRegion, 3> regions;  // APROM, DataFlash, LDROM
};

// The file's bytes for the job; recomputes job.flags first.
std::vector<std::uint8_t> encodeProject(ProgrammingJob& job);

// Reads a project file's bytes. False (with the reason in *why) when the signature's
// letter at offset 12 is not 'A', when the file is shorter than its header or than the
// region blocks its FLAGs claim, when a block claims more than 256 KiB, or when a block's
// checksum does not match its image bytes.
bool decodeProject(std::span<const std::uint8_t> bytes, ProjectFile& project,
                   std::string* why = nullptr);

// "Save\nProj": writes the job to path; "Open file error !" (FAIL box) when it cannot.
bool saveProject(ProgrammingJob& job, const std::string& path, Operator& op);

// "Load\nProj": reads path into the job. Failures, each leaving the job as it was:
// "Open file error !" (FAIL), "TPJ format error !" (FAIL), "TPJ's part is not found !"
// (WARNING). On success the images are written to the working files in
// job.workDirectory and become the regions' files, gang mode is set, the mode flags and
// update flags follow programmerType and FLAGs, and projectFileName is the file's name.
// The window refresh that follows a load is the caller's.
bool loadProject(ProgrammingJob& job, const std::string& path, Operator& op);

// The texts of the debug dump, one "<Debug>" box each, in order; recomputes job.flags.
std::vector<std::string> debugDump(ProgrammingJob& job);
void showDebugDump(ProgrammingJob& job, Operator& op);

}  // namespace tarnel

#pragma once
// Whole-file reading and writing for every file Tarnel keeps: the settings file, project
// files, working image files, read-back images and the ISP port file.
//
// A write never leaves a half-written file where a good one stood: the bytes go to a
// temporary file beside the target, are flushed to the disk, and the temporary file is then
// renamed over the target. On any failure the temporary file is removed and the target is
// left as it was.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tarnel {

// Writes the bytes as the whole content of path. Returns false (with a short reason in
// *error when given) if any step fails; the target is then unchanged.
bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* error = nullptr);

enum class ReadResult {
    Ok,
    OpenFailed,  // missing or unreadable
    TooLarge,    // longer than the caller's limit; nothing was read
    NotRegular,  // a FIFO, a device, a directory: refused without waiting on it
};

// A line of text for a read that failed, naming the path ("not a regular file", ...).
std::string describeReadFailure(ReadResult result, const std::string& path);

// Takes each piece of a file as it is read, with the file's size when it was opened; a false
// return stops the reading (the result is then Ok). The checks are those of readWholeFile.
using PieceReader = std::function<bool(std::span<const std::uint8_t> piece, std::uint64_t size)>;
inline constexpr std::size_t kPieceBytes = 64 * 1024;
ReadResult readFileInPieces(const std::string& path, std::uint64_t maxBytes,
                            const PieceReader& take);

// Reads the whole file into out (replacing its content). Files longer than maxBytes are
// refused before any byte is read, so a stray huge file cannot exhaust memory.
ReadResult readWholeFile(const std::string& path, std::vector<std::uint8_t>& out,
                         std::uint64_t maxBytes);

}  // namespace tarnel

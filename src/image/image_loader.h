#pragma once
// Choosing and re-reading the image files of the three regions, and what the window shows
// of the visible one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/atomic_file.h"
#include "core/operator.h"
#include "core/programming_job.h"
#include "image/hex_converter.h"

namespace tarnel {

enum class ImageRegion { Aprom, DataFlash, Ldrom };

inline constexpr ImageRegion kImageRegions[] = {ImageRegion::Aprom, ImageRegion::DataFlash,
                                                ImageRegion::Ldrom};

ImageBuffer& imageOf(ProgrammingJob& job, ImageRegion region);
const ImageBuffer& imageOf(const ProgrammingJob& job, ImageRegion region);
// The region's update flag (updateAprom, updateDataFlash, updateLdrom).
bool& updateFlagOf(ProgrammingJob& job, ImageRegion region);
std::string_view regionName(ImageRegion region);  // "APROM", "DataFlash", "LDROM"

// The region that an image tab shows: tab 0 APROM; tab 1 DataFlash when the DataFlash tab is
// shown, otherwise LDROM; tab 2 LDROM; nothing for any other tab.
std::optional<ImageRegion> regionOfTab(const ProgrammingJob& job, std::uint32_t tab);

// A HEX file beyond this is not an image of ours, and is refused before it is read.
inline constexpr std::uint64_t kMaxHexFileSize = 64u << 20;

// Feeds the HEX file at path to the converter as it is read, until its end record; the
// converter's finish() then gives the image. Refuses what readFileInPieces refuses.
ReadResult feedHexFile(const std::string& path, HexStreamConverter& converter);

// True when a file with this extension is read as Intel HEX in an APROM or LDROM region:
// the extension's first three characters are "hex" in any mix of case.
bool isHexExtension(std::string_view extension);

// Makes path the region's file, as the open-file dialog does: path, name, title, extension,
// isHex, shownName; loaded = 1, fromProject = 0. Nothing is read yet.
void assignImageFile(ImageBuffer& image, ImageRegion region, std::string_view path);

// "Load File" after the open-file dialog: path is the chosen file (empty when the dialog was
// cancelled), tab the tab strip's current selection. Does nothing while busy. An unknown tab
// shows "Load file buffer error !" (FAIL box); the window asks regionOfTab first to choose the
// dialog's filter, and calls this without a path when there is no region. Otherwise the file
// becomes the region's, the images are re-read and the region is ticked for update. Returns whether
// a file was taken; the caller then re-evaluates the command buttons.
bool chooseImageFile(ProgrammingJob& job, std::uint32_t tab, std::string_view path, Operator& op);

// Recomputes checksum, lastAddress, the header copies and lengthLow/lengthHigh from
// data and length.
void deriveImageFields(ImageBuffer& image, ImageRegion region);

// Re-reads every loaded region in the order APROM, DataFlash, LDROM. A failure shows its FAIL
// box ("Open APROM file error !", ..., "Hex_to_Bin conversion failed !") and leaves the
// region empty and marked rejected; one of a region ticked for update stops the reload
// there, one of an unticked region does not. A raw file longer than the 256 KiB buffer is
// refused with the region's open-error message. After all three: the first two
// headerChecksum bytes of each region not ticked for update are zeroed, and the APROM
// configSum is set (both bytes 0 when updateConfig is off). Returns false after a failure.
bool reloadImages(ProgrammingJob& job, Operator& op);
// The reload at the start of a command: false when a region ticked for update could not be
// read, and the command must not start.
bool reloadImagesForCommand(ProgrammingJob& job, Operator& op);

// What the window shows of one image: its bytes and the "File Name:", size and "Checksum:"
// fields (blank for a rejected file). sizeLabel is "Code Size:" or "Data Size:"; a cleared
// view leaves the label alone.
struct ImageView {
    std::string fileNameText;
    std::string sizeText;
    std::string checksumText;
    std::optional<std::string> sizeLabel;
    std::vector<std::uint8_t> bytes;
};

ImageView showImage(const ProgrammingJob& job, ImageRegion region);
ImageView clearImageView();
// The view after a reload: the region of the tab when it is loaded, else a cleared view.
ImageView viewOfTab(const ProgrammingJob& job, std::uint32_t tab);

}  // namespace tarnel

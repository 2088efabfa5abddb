// Re-reading the image files: HEX or raw by extension, the derived fields and header copies,
// the stop at the first failing region, and what the window shows.

#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>

#include "image/image_loader.h"
#include "support/scratch_dir.h"
#include "testkit/recording_operator.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

struct Fixture {
    ScratchDir dir;
    ProgrammingJob job;
    RecordingOperator op;

    Fixture() {
        job.programmerType = kTypeIcp;
        job.partIndex = 207;
        job.refreshDerivedState();
        job.dataFlashTabShown = true;
    }
    void assign(ImageRegion region, const std::string& name, std::string_view content) {
        assignImageFile(imageOf(job, region), region, dir.write(name, content));
        updateFlagOf(job, region) = true;
    }
};

}  // namespace

TEST(ImageLoader, ReloadDerivesFieldsAndHeaderCopies) {
    Fixture f;
    // Only the first three characters of the extension count, in any case; DataFlash files
    // are always raw.
    f.assign(ImageRegion::Aprom, "app.HexDump", ":0300000001020AF0\n:00000001FF\n");
    f.assign(ImageRegion::DataFlash, "data.HEX", ":00000001FF");  // 11 bytes of text
    std::string ldrom(0x1234, '\x01');
    f.assign(ImageRegion::Ldrom, "boot.bin", ldrom);
    const std::time_t when = 1700000000;
    utimbuf times{when, when};
    ASSERT_EQ(utime(f.job.imageAprom.pathName.c_str(), &times), 0);

    ASSERT_TRUE(reloadImages(f.job, f.op)) << f.op.boxes().front();
    const ImageBuffer& aprom = f.job.imageAprom;
    EXPECT_TRUE(aprom.isHex);
    EXPECT_EQ(aprom.length, 3u);
    EXPECT_EQ(aprom.checksum, 0x0Du);
    EXPECT_EQ(aprom.lastAddress, 2u);
    EXPECT_EQ(aprom.headerLastAddress, (std::array<std::uint8_t, 3>{2, 0, 0}));
    EXPECT_EQ(aprom.headerChecksum, (std::array<std::uint8_t, 4>{0x0D, 0, 0, 0}));
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    EXPECT_EQ(aprom.fileMinute, local.tm_min);
    EXPECT_EQ(aprom.fileSecond, local.tm_sec);

    EXPECT_EQ(f.job.imageDataFlash.length, 11u);
    EXPECT_EQ(f.job.imageDataFlash.data[0], ':');

    // LDROM keeps two address bytes and three checksum bytes.
    const ImageBuffer& ld = f.job.imageLdrom;
    EXPECT_EQ(ld.lengthHigh, 0x12u);
    EXPECT_EQ(ld.lengthLow, 0x34u);
    EXPECT_EQ(ld.headerLastAddress, (std::array<std::uint8_t, 3>{0x33, 0x12, 0}));
    EXPECT_EQ(ld.headerChecksum, (std::array<std::uint8_t, 4>{0x34, 0x12, 0, 0}));
}

TEST(ImageLoader, UntickedRegionsAndConfigSum) {
    Fixture f;
    f.assign(ImageRegion::Aprom, "app.bin", std::string(258, '\xFF'));
    f.assign(ImageRegion::DataFlash, "empty.bin", "");
    f.job.updateAprom = false;
    f.job.updateConfig = true;
    f.job.configBytes = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04};
    ASSERT_TRUE(reloadImages(f.job, f.op));
    EXPECT_EQ(f.job.imageAprom.checksum, 0x100FEu) << "the checksum itself stays";
    EXPECT_EQ(f.job.imageAprom.headerChecksum, (std::array<std::uint8_t, 4>{0, 0, 0x01, 0}));
    EXPECT_EQ(f.job.imageAprom.configSum, (std::array<std::uint8_t, 2>{0x06, 0x04}));
    EXPECT_EQ(showImage(f.job, ImageRegion::Aprom).checksumText, "0x00FE");
    EXPECT_EQ(f.job.imageDataFlash.length, 0u);
    EXPECT_EQ(f.job.imageDataFlash.checksum, 0u);
    EXPECT_EQ(f.job.imageDataFlash.lastAddress, 0xFFFFFFFFu);

    f.job.updateConfig = false;
    ASSERT_TRUE(reloadImages(f.job, f.op));
    EXPECT_EQ(f.job.imageAprom.configSum, (std::array<std::uint8_t, 2>{0, 0}));
}

// A failed region keeps nothing of its older read; a ticked one stops the reload and the
// command, an unticked one does neither.
TEST(ImageLoader, FailureEmptiesTheRegionAndStopsOnlyAtATickedOne) {
    Fixture f;
    f.assign(ImageRegion::Aprom, "app.bin", "abc");
    f.assign(ImageRegion::DataFlash, "data.bin", "12345");
    f.assign(ImageRegion::Ldrom, "boot.bin", "xy");
    ASSERT_TRUE(reloadImagesForCommand(f.job, f.op));

    // A raw file longer than the buffer is refused, not truncated; LDROM is not re-read.
    f.dir.write("data.bin", std::string(kImageCapacity + 1, 'd'));
    f.dir.write("boot.bin", "changed");
    f.dir.write("app.bin", "abcd");
    EXPECT_FALSE(reloadImagesForCommand(f.job, f.op));
    EXPECT_EQ(f.op.boxes().back(), "FAIL: Open DataFlash file error !");
    EXPECT_EQ(f.op.details().back(), f.job.imageDataFlash.pathName + " is too large");
    EXPECT_EQ(f.job.imageAprom.length, 4u) << "regions before the failure keep their new data";
    EXPECT_TRUE(f.job.imageDataFlash.rejected);
    EXPECT_EQ(f.job.imageDataFlash.length, 0u);
    EXPECT_EQ(f.job.imageDataFlash.checksum, 0u);
    EXPECT_EQ(f.job.imageDataFlash.data[0], 0);
    EXPECT_EQ(f.job.imageLdrom.length, 2u);

    // Unticked, the same failure is shown but LDROM is read and a command may start.
    f.job.updateDataFlash = false;
    EXPECT_TRUE(reloadImagesForCommand(f.job, f.op));
    EXPECT_EQ(f.op.boxes().back(), "FAIL: Open DataFlash file error !");
    EXPECT_EQ(f.job.imageLdrom.length, 7u);
    EXPECT_EQ(showImage(f.job, ImageRegion::DataFlash).sizeText, "");

    // A HEX failure leaves no data of the older image (its box, length and texts are the
    // window's rejected-image test), and the detail names the file and line.
    f.assign(ImageRegion::Aprom, "app.hex", ":020000000102FB\n");  // no end record
    f.job.imageAprom.data[0] = 0x55;
    EXPECT_FALSE(reloadImages(f.job, f.op));
    EXPECT_EQ(f.op.details().back(), f.job.imageAprom.pathName + ", line 1: no end-of-file record");
    EXPECT_EQ(f.job.imageAprom.data[0], 0);
}

TEST(ImageLoader, ChooseImageFileAndTheViewOfItsTab) {
    Fixture f;
    const std::string path = f.dir.write("boot.bin", "LD");
    f.job.dataFlashTabShown = false;  // tab 1 is LDROM
    EXPECT_FALSE(chooseImageFile(f.job, 1, "", f.op)) << "cancelled";
    ASSERT_TRUE(chooseImageFile(f.job, 1, path, f.op));
    EXPECT_TRUE(f.job.imageLdrom.loaded && f.job.updateLdrom);
    EXPECT_EQ(viewOfTab(f.job, 1).sizeLabel, "Code Size:");  // bytes and size: window tests
    EXPECT_TRUE(viewOfTab(f.job, 0).sizeText.empty()) << "APROM has no file";

    EXPECT_FALSE(chooseImageFile(f.job, 5, path, f.op));
    EXPECT_EQ(f.op.boxes(), std::vector<std::string>{"FAIL: Load file buffer error !"});
    f.job.busy = true;
    EXPECT_FALSE(chooseImageFile(f.job, 0, path, f.op));
    EXPECT_FALSE(f.job.imageAprom.loaded);
}

// Project files: the exact bytes written, loading them back, and refusing broken files
// before anything of the job changes.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include <cstring>

#include "core/config_model.h"
#include "image/image_loader.h"
#include "image/project_file.h"
#include "support/ops_fixtures.h"
#include "support/scratch_dir.h"
#include "testkit/recording_operator.h"

using namespace tarnel;
using tarnel::test::readBytes;
using tarnel::test::ScratchDir;

namespace {

void setImage(ImageBuffer& image, ImageRegion region, std::string name,
              std::vector<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.data.begin());
    image.length = static_cast<std::uint32_t>(bytes.size());
    image.shownName = std::move(name);
    image.loaded = true;
    deriveImageFields(image, region);
}

// ICP, QK207, APROM and LDROM ticked, every header field set to a telling value.
void knownJob(ProgrammingJob& job) {
    job.programmerType = kTypeIcp;
    job.partIndex = 207;
    job.refreshDerivedState();
    setConfig0Word(job.configBytes, 0x12345678);
    setConfig1Word(job.configBytes, 0x9ABCDEF0);
    job.dataFlashPages = 0x0203;
    job.updateAprom = job.updateLdrom = job.updateConfig = true;
    job.setComPortName("/dev/ttyUSB0");
    job.usageLimitEnabled = true;
    job.usageTimesHigh = 0xEA;
    job.usageTimesLow = 0x60;
    tarnel::testing::setSerial(job, 0x12340, 12345678, 90123456);
    job.incrementLow = 25;
    job.chipCounterEnabled = job.chipCounterDown = true;
    job.chipCounter = 123456;
    job.uartFastProtocol = true;
    setImage(job.imageAprom, ImageRegion::Aprom, "app.hex", {1, 2, 3, 4, 5});
    setImage(job.imageLdrom, ImageRegion::Ldrom, "boot.bin", {0xFF, 0xFE, 0xFD});
}

std::vector<std::uint8_t> knownBytes() {
    std::vector<std::uint8_t> b(256, 0);
    std::memcpy(b.data(), "Corvale TPJ A1.0", 16);
    std::memcpy(b.data() + 16, "QK207", 5);
    b[32] = 0x01;
    b[33] = 0x03, b[34] = 0x02;
    b[35] = 0x8B;  // ICP, APROM, LDROM, CONFIG
    const std::uint8_t config[] = {0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A};
    std::memcpy(b.data() + 40, config, 8);
    std::memcpy(b.data() + 48, "/dev/ttyUSB0", 12);
    b[64] = 0xEA, b[65] = 0x60, b[66] = 0xFF;
    b[72] = 0xFF;
    b[74] = 0x40, b[75] = 0x23, b[76] = 0x01;
    b[87] = 0x25;
    const std::uint8_t serial[] = {0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x56};
    std::memcpy(b.data() + 88, serial, 8);
    b[96] = 0xFF, b[97] = 0xFF;
    b[98] = 0x40, b[99] = 0xE2, b[100] = 0x01;
    b[104] = 0x00;  // fast protocol
    const auto block = [&b](const char* name, std::vector<std::uint8_t> data, std::uint32_t sum) {
        std::vector<std::uint8_t> head(80, 0);
        std::memcpy(head.data(), name, std::strlen(name));
        head[64] = static_cast<std::uint8_t>(data.size());
        head[68] = static_cast<std::uint8_t>(sum), head[69] = static_cast<std::uint8_t>(sum >> 8);
        b.insert(b.end(), head.begin(), head.end());
        b.insert(b.end(), data.begin(), data.end());
    };
    block("app.hex", {1, 2, 3, 4, 5}, 15);
    block("boot.bin", {0xFF, 0xFE, 0xFD}, 0x2FA);
    return b;
}

struct Loader {
    ScratchDir dir;
    ProgrammingJob job;
    RecordingOperator op;
    Loader() {
        job.workDirectory = dir.path();
        job.programmerType = kTypeIcp;
        job.partIndex = 300;
        job.refreshDerivedState();
        job.serialLow = 42;
        job.chipCounter = 7;
        job.projectFileName = "before.TPJ";
    }
    bool load(const std::vector<std::uint8_t>& bytes) {
        return loadProject(job, dir.write("line.TPJ", bytes), op);
    }
};

}  // namespace

TEST(ProjectFile, WritesTheKnownJobByteForByte) {
    ProgrammingJob job;
    knownJob(job);
    ScratchDir dir;
    RecordingOperator op;
    ASSERT_TRUE(saveProject(job, dir.file("a.TPJ"), op));
    EXPECT_EQ(readBytes(dir.file("a.TPJ")), knownBytes());

    EXPECT_FALSE(saveProject(job, dir.file("missing/a.TPJ"), op));
    EXPECT_EQ(op.boxes(), std::vector<std::string>{"FAIL: Open file error !"});
}

TEST(ProjectFile, LoadsBackWithItsModeWorkingFilesAndKeptCounters) {
    Loader l;
    ASSERT_TRUE(l.load(knownBytes())) << l.op.boxes().front();
    // Saved again, the job gives the file back with its mode, the port name zeroed, and its
    // own serial number (42) and chip counter (7) instead of the file's.
    auto expected = knownBytes();
    std::memset(expected.data() + 48, 0, 16);
    const std::uint8_t serial[] = {0, 0, 0, 0, 0, 0, 0, 0x42};
    std::memcpy(expected.data() + 88, serial, 8);
    expected[98] = 7, expected[99] = 0, expected[100] = 0;
    EXPECT_EQ(encodeProject(l.job), expected);
    EXPECT_TRUE(l.job.icpMode && !l.job.gangMode && !l.job.productionMode);
    EXPECT_EQ(l.job.projectFileName, "line.TPJ");

    EXPECT_EQ(l.job.imageAprom.pathName, l.dir.file("_AP_file.BIN"));
    EXPECT_EQ(readBytes(l.dir.file("_LD_file.BIN")), (std::vector<std::uint8_t>{0xFF, 0xFE, 0xFD}));
    EXPECT_TRUE(l.job.imageAprom.fromProject && !l.job.imageAprom.isHex);
    EXPECT_FALSE(l.job.imageDataFlash.loaded);
}

TEST(ProjectFile, LoadingAgainKeepsUnchangedWorkingFiles) {
    Loader l;
    ASSERT_TRUE(l.load(knownBytes()));
    const std::string working = l.dir.file("_AP_file.BIN");
    // An old modification time: a rewrite would renew it, and the programmer compares it.
    // Whole seconds, which every file system keeps exactly.
    const std::filesystem::file_time_type old = std::chrono::floor<std::chrono::seconds>(
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    std::filesystem::last_write_time(working, old);
    ASSERT_TRUE(l.load(knownBytes()));
    EXPECT_EQ(std::filesystem::last_write_time(working), old);

    // A working file with other contents is written again.
    l.dir.write("_AP_file.BIN", std::vector<std::uint8_t>{9});
    std::filesystem::last_write_time(working, old);
    ASSERT_TRUE(l.load(knownBytes()));
    EXPECT_NE(std::filesystem::last_write_time(working), old);
    EXPECT_EQ(readBytes(working), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
}

TEST(ProjectFile, PartIsSearchedInTheRowsOfTheFilesMode) {
    Loader l;
    auto bytes = knownBytes();
    std::memset(bytes.data() + 16, 0, 16);
    std::memcpy(bytes.data() + 16, "QP508", 5);  // a Pike part: row 40 and row 136
    // A file saved in ISP by COM Port mode comes back in that mode, never as a gang one.
    bytes[32] = kTypeIspByCom | kTypeGang;
    ASSERT_TRUE(l.load(bytes));
    EXPECT_EQ(l.job.partIndex, 40u);
    EXPECT_EQ(l.job.programmerType, kTypeIspByCom);
    EXPECT_TRUE(l.job.comPortIspMode && !l.job.gangMode);
    EXPECT_FALSE(l.job.catalogue.legacyListMasked());
    EXPECT_EQ(l.job.savedIcpPartIndex, 300u) << "the ICP part is remembered";

    bytes[32] = kTypeIcp | kTypeGang;  // the gang bit as the file holds it
    ASSERT_TRUE(l.load(bytes));
    EXPECT_EQ(l.job.partIndex, 136u);
    EXPECT_TRUE(l.job.gangMode);
    EXPECT_TRUE(l.job.catalogue.legacyListMasked());

    std::memcpy(bytes.data() + 16, "QM(I)114", 8);  // a former part number
    bytes[32] = kTypeIsp;
    bytes[64] = bytes[65] = 0;  // no usage times stored
    ASSERT_TRUE(l.load(bytes));
    EXPECT_EQ(l.job.partIndex, 2u);
    EXPECT_EQ(l.job.usageTimesHigh, 0xFF);
    EXPECT_EQ(l.job.usageTimesLow, 0xFF);
}

TEST(ProjectFile, PartNotFoundLeavesTheJobAsItWas) {
    Loader l;
    auto bytes = knownBytes();
    std::memset(bytes.data() + 16, 0, 16);
    std::memcpy(bytes.data() + 16, "QP508", 5);
    bytes[32] = kTypeIsp;  // rows 40..51 are masked in ISP
    const auto before = encodeProject(l.job);
    EXPECT_FALSE(l.load(bytes));
    EXPECT_EQ(l.op.boxes(), std::vector<std::string>{"WARNING: TPJ's part is not found !"});
    EXPECT_EQ(encodeProject(l.job), before);
    EXPECT_TRUE(l.job.icpMode);
    EXPECT_EQ(l.job.savedIcpPartIndex, 100u);
    EXPECT_TRUE(l.job.catalogue.legacyListMasked());
    EXPECT_EQ(l.job.projectFileName, "before.TPJ");

    std::memset(bytes.data() + 16, 0, 16);  // an empty part number matches no empty row
    EXPECT_FALSE(l.load(bytes));
    EXPECT_EQ(l.job.partIndex, 300u);
}

TEST(ProjectFile, BrokenFilesAreRefusedBeforeAnyChange) {
    const auto good = knownBytes();
    auto wrongLetter = good;
    wrongLetter[12] = 'B';
    auto lyingLength = good;
    lyingLength[256 + 66] = 0x10;  // APROM block claims 1 MiB
    auto badChecksum = good;
    badChecksum[256 + 80] ^= 1;
    // Bytes past the last block: a zero byte (as left by a block length one short over an
    // image ending in zeros, whose sum still matches) or junk appended.
    auto trailingZero = good;
    trailingZero.push_back(0);
    auto junk = good;
    junk.insert(junk.end(), {'j', 'u', 'n', 'k'});
    const std::vector<std::vector<std::uint8_t>> cases = {
        {},
        std::vector<std::uint8_t>(good.begin(), good.begin() + 100),
        std::vector<std::uint8_t>(good.begin(), good.begin() + 256),       // no APROM block
        std::vector<std::uint8_t>(good.begin(), good.begin() + 256 + 40),  // inside its head
        std::vector<std::uint8_t>(good.end() - 1 - 256, good.end() - 1),
        std::vector<std::uint8_t>(good.begin(), good.end() - 1),  // LDROM image one short
        wrongLetter,
        lyingLength,
        badChecksum,
        trailingZero,
        junk,
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        Loader l;
        const auto before = encodeProject(l.job);
        EXPECT_FALSE(l.load(cases[i]));
        EXPECT_EQ(l.op.boxes(), std::vector<std::string>{"FAIL: TPJ format error !"});
        EXPECT_EQ(encodeProject(l.job), before);
        EXPECT_EQ(l.job.projectFileName, "before.TPJ");
        EXPECT_EQ(l.dir.entries(), std::vector<std::string>{"line.TPJ"}) << "no working file";
    }

    // The cause shown under the box.
    ProjectFile decoded;
    std::string why;
    EXPECT_FALSE(decodeProject(std::span(good.data(), 100), decoded, &why));
    EXPECT_EQ(why, "file shorter than its header");

    Loader missing;
    EXPECT_FALSE(loadProject(missing.job, missing.dir.file("none.TPJ"), missing.op));
    EXPECT_EQ(missing.op.boxes(), std::vector<std::string>{"FAIL: Open file error !"});
}

TEST(ProjectFile, UnwritableWorkingFileIsReportedByTheNextReload) {
    Loader l;
    l.job.workDirectory = l.dir.file("no-such-directory");
    ASSERT_TRUE(l.load(knownBytes()));
    EXPECT_TRUE(l.op.boxes().empty());
    EXPECT_FALSE(reloadImages(l.job, l.op));
    EXPECT_EQ(l.op.boxes(), std::vector<std::string>{"FAIL: Open APROM file error !"});
}

TEST(ProjectFile, DebugDumpTexts) {
    ProgrammingJob job;
    knownJob(job);
    job.categoryStr = "Vexa_Kite";
    EXPECT_EQ(debugDump(job),
              (std::vector<std::string>{
                  "ProgrammerType (0=ISP; 1=ICP; 2=ISPbyCOM; 4x=GangMode; 8x=ProductionMode) = "
                  "0x01",
                  "CategoryStr= Vexa_Kite", "PartNo= QK207", "FLAGs= 0x8B",
                  "CONFIG0= 0x12 0x34 0x56 0x78", "CONFIG1= 0x9A 0xBC 0xDE 0xF0"}));

    job.programmerType = kTypeIsp;
    job.partIndex = 37;
    job.refreshDerivedState();
    job.updateAprom = job.updateLdrom = job.updateConfig = false;
    RecordingOperator op;
    showDebugDump(job, op);
    const auto boxes = op.boxes();
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[3], "<Debug>: FLAGs= 0x40");
    EXPECT_EQ(boxes[4], "<Debug>: CONFIG_3210= 0xFD 0xFF 0xFF 0x79");
}

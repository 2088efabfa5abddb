// The settings file "GUI.LOG": exact layout, reading back, and short or odd files.

#include <gtest/gtest.h>

#include <cstring>

#include "app/settings_file.h"
#include "support/ops_fixtures.h"
#include "support/scratch_dir.h"
#include "testkit/recording_operator.h"

using namespace tarnel;
using tarnel::test::readBytes;
using tarnel::test::ScratchDir;

namespace {

void knownJob(ProgrammingJob& job) {
    job.programmerType = kTypeGang | kTypeIcp;
    job.partIndex = 1003;
    job.usageTimesHigh = 0x12;
    job.usageTimesLow = 0x34;
    tarnel::testing::setSerial(job, 0x0001FFF8, 87654321, 12345678);
    job.incrementHigh = 1;
    job.incrementLow = 2;
    job.chipCounterEnabled = true;
    job.chipCounterDown = false;
    job.chipCounter = 999999;
    job.uartFastProtocol = false;
    job.setComPortName("ttyACM1");
}

std::vector<std::uint8_t> knownBytes() {
    std::vector<std::uint8_t> b(256, 0);
    b[0] = 0x41;
    b[1] = 0xEB, b[2] = 0x03;
    b[8] = 0x12, b[9] = 0x34;
    b[10] = 0xFF;
    b[11] = 0xF8, b[12] = 0xFF, b[13] = 0x01;
    b[19] = 0x01, b[23] = 0x02;  // increment 0000000100000002
    const std::uint8_t serial[] = {0x87, 0x65, 0x43, 0x21, 0x12, 0x34, 0x56, 0x78};
    std::memcpy(b.data() + 24, serial, 8);
    b[32] = 0xFF;
    b[34] = 0x3F, b[35] = 0x42, b[36] = 0x0F;
    b[40] = 0xFF;  // normal protocol
    for (char c : std::string("ttyACM1"))
        b.push_back(static_cast<std::uint8_t>(c));
    return b;
}

}  // namespace

TEST(SettingsFile, WritesTheKnownJobAndReadsItBack) {
    ScratchDir dir;
    ProgrammingJob job;
    knownJob(job);
    job.settingsFilePath = settingsPathIn(dir.path());
    EXPECT_EQ(job.settingsFilePath, dir.path() + "/GUI.LOG");
    RecordingOperator op;
    ASSERT_TRUE(saveSettings(job, op));
    EXPECT_EQ(readBytes(job.settingsFilePath), knownBytes());

    ProgrammingJob back;
    back.settingsFilePath = job.settingsFilePath;
    ASSERT_TRUE(loadSettings(back));
    EXPECT_EQ(encodeSettings(back), knownBytes());

    job.settingsFilePath = dir.file("missing/GUI.LOG");
    EXPECT_FALSE(saveSettings(job, op));
    EXPECT_EQ(op.boxes(), std::vector<std::string>{"FAIL: 'GUI.LOG' cannot be created !"});
}

TEST(SettingsFile, MissingOrShortFilesKeepDefaults) {
    ProgrammingJob fresh;
    const auto defaults = encodeSettings(fresh);

    ProgrammingJob missing;
    missing.settingsFilePath = "/nonexistent/GUI.LOG";
    EXPECT_FALSE(loadSettings(missing));
    EXPECT_EQ(encodeSettings(missing), defaults);

    // Ten bytes: type, part and usage times are there; the serial flag at 10 is not.
    auto bytes = knownBytes();
    ProgrammingJob shortFile;
    decodeSettings(std::span(bytes).first(10), shortFile);
    EXPECT_EQ(shortFile.partIndex, 1003u);
    EXPECT_FALSE(shortFile.serialEnabled);
    EXPECT_EQ(shortFile.incrementLow, 1u);
    EXPECT_EQ(shortFile.comPortText(), "\\\\.\\COM1");

    // A file cut inside the serial address leaves it and everything after at defaults.
    ProgrammingJob cut;
    decodeSettings(std::span(bytes).first(13), cut);
    EXPECT_TRUE(cut.serialEnabled);
    EXPECT_EQ(cut.serialAddress, 0u);

    // Exactly 256 bytes: the port name is there and empty.
    ProgrammingJob noPort;
    decodeSettings(std::span(bytes).first(256), noPort);
    EXPECT_EQ(noPort.comPortText(), "");
    EXPECT_EQ(noPort.chipCounter, 999999u);
}

TEST(SettingsFile, OddValuesAreMadeSafe) {
    auto bytes = knownBytes();
    bytes[1] = 0x50, bytes[2] = 0x04;  // part 1104: beyond the catalogue
    bytes[8] = bytes[9] = 0;           // no usage times
    bytes[10] = 0x01;                  // any non-zero byte is set
    bytes[34] = 0xFF, bytes[35] = 0xFF, bytes[36] = 0xFF, bytes[37] = 0x00;
    bytes[40] = 0x00;
    bytes.resize(256);
    for (char c : std::string("/dev/serial/by-id/usb-0001"))
        bytes.push_back(static_cast<std::uint8_t>(c));
    ProgrammingJob job;
    decodeSettings(bytes, job);
    EXPECT_EQ(job.partIndex, 2u);
    EXPECT_EQ(job.usageTimesHigh, 0xFF);
    EXPECT_EQ(job.usageTimesLow, 0xFF);
    EXPECT_TRUE(job.serialEnabled);
    EXPECT_EQ(job.chipCounter, 999999u);
    EXPECT_TRUE(job.uartFastProtocol);
    EXPECT_EQ(job.comPortText(), "/dev/serial/by-");
    EXPECT_EQ(job.comPortName[15], '\0');
}

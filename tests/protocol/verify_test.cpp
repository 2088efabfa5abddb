// Verify Chip: the ISP page stream and the ICP read-back comparison.

#include <gtest/gtest.h>

#include "operations/verify.h"
#include "support/scripted_device.h"

namespace tarnel {
namespace {

using testing::ChipAnswer;
using testing::Script;
using testing::ScriptedBench;
using testing::Scripts;
using Bytes = std::vector<std::uint8_t>;

void setImage(ImageBuffer& image, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i)
        image.data[i] = testing::chipByte(i);
    image.length = length;
    image.lengthHigh = length >> 8;
    image.lengthLow = length & 0xFF;
    image.lastAddress = length == 0 ? 0 : length - 1;
}

struct IspCase {
    std::uint32_t length;
    int failingPage;  // -1: every page matches
    std::size_t pagesSent;
    std::string box;
};

TEST(VerifyChip, IspStreamsTheApromImagePageByPage) {
    const std::vector<IspCase> cases = {
        {300, -1, 2, "PASS: Verify APROM ==> PASS !\n"},
        {0, -1, 0, "PASS: Verify APROM ==> PASS !\n"},
        {600, 1, 2, "FAIL: Verify APROM ==> FAIL !\n"},
    };
    for (const IspCase& c : cases) {
        SCOPED_TRACE(c.length);
        Scripts scripts;
        testing::addSingleIdentity(scripts, 0xAA);
        Script verify;
        verify.reply({0xA5}).read(6).reply({0xA5});
        for (std::uint32_t page = 0; page * 256 < c.length; ++page)
            verify.read(std::min<std::uint32_t>(256, c.length - page * 256))
                .reply({static_cast<std::uint8_t>(static_cast<int>(page) == c.failingPage)});
        scripts[0xC7] = {verify};
        ScriptedBench s(scripts);
        s.bench.selectPart(2);
        s.bench.job.updateAprom = true;
        s.bench.job.updateConfig = true;
        setImage(s.bench.job.imageAprom, c.length);
        ReadBackState readBack;

        const std::uint64_t start = s.bench.clock.nowMs();
        EXPECT_EQ(verifyWorker(s.bench.session, readBack), c.failingPage < 0);
        EXPECT_EQ(s.bench.op.boxes(), std::vector<std::string>{c.box});
        const std::uint32_t last = c.length == 0 ? 0 : c.length - 1;
        Bytes expected = {0xC7,
                          0x02,
                          0x02,
                          static_cast<std::uint8_t>(last >> 16),
                          static_cast<std::uint8_t>(last >> 8),
                          static_cast<std::uint8_t>(last),
                          0x09};
        const std::size_t sent = std::min<std::size_t>(c.pagesSent * 256, c.length);
        expected.insert(expected.end(), s.bench.job.imageAprom.data.begin(),
                        s.bench.job.imageAprom.data.begin() + sent);
        EXPECT_EQ(s.commandWrites(), expected);
        if (c.failingPage < 0) {
            // One pause after the version command and after each of the six values.
            EXPECT_EQ(s.bench.clock.nowMs() - start, 7u);
            EXPECT_EQ(s.bench.op.stepCount(), static_cast<int>(c.pagesSent));
        }
    }
}

TEST(VerifyChip, IspRefusesAnOversizedImageBeforeSearching) {
    Scripts scripts;
    testing::addSingleIdentity(scripts, 0xAA);
    ScriptedBench s(scripts);
    s.bench.selectPart(2);
    setImage(s.bench.job.imageAprom, 0x3900);  // the part holds 0x3800
    ReadBackState readBack;
    EXPECT_FALSE(verifyWorker(s.bench.session, readBack));
    EXPECT_TRUE(s.hostWrites().empty());
    ASSERT_EQ(s.bench.op.boxes().size(), 1u);
}

// The chip of each test part as the ICP read finds it: contents chipByte(offset) everywhere.
ChipAnswer chipOf(std::uint32_t part, const std::array<std::uint8_t, 8>& configBytes) {
    ChipAnswer chip;
    chip.config.assign(configBytes.rbegin(), configBytes.rend());
    chip.readsLdrom = true;
    switch (part) {
        case 103:  // plain 8051: no DataFlash, 2 KiB LDROM
            chip.apromBlocks = 64;
            chip.ldromBlocks = 8;
            break;
        case 136:  // Pike with its DataFlash switched off (c0 bit 0 set)
            chip.chipConfig = chip.config;
            chip.apromBlocks = 64;
            chip.ldromBlocks = 8;
            break;
        case 200:  // 32-bit with a fixed DataFlash
            chip.chipConfig = chip.config;
            chip.apromBlocks = 128;
            chip.readsDataFlash = true;
            chip.dataFlashBlocks = 32;
            chip.ldromBlocks = 16;
            break;
    }
    return chip;
}

// The programmer variant that serves each test part as it is.
std::uint8_t kindFor(std::uint32_t part) {
    return part == 200 ? 0xAD : part == 136 ? 0xA4 : 0xAB;
}

struct IcpCase {
    std::uint32_t part;
    int configByteChanged;  // index in configBytes changed on the chip, -1: none
    int apromByteChanged;   // offset changed in the image, -1: none
    bool tickAll;
    std::string box;
};

TEST(VerifyChip, IcpLinesPerRegionAndConfigWidths) {
    const std::string pass = "Verify APROM ==> PASS !\n";
    const std::vector<IcpCase> cases = {
        {103, 5, -1, true, "PASS: " + pass + "Verify LDROM ==> PASS !\nVerify CONFIG ==> PASS !"},
        {103, 6, -1, true, "FAIL: " + pass + "Verify LDROM ==> PASS !\nVerify CONFIG ==> FAIL !"},
        {136, 3, -1, true, "PASS: " + pass + "Verify LDROM ==> PASS !\nVerify CONFIG ==> PASS !"},
        {136, 4, -1, true, "FAIL: " + pass + "Verify LDROM ==> PASS !\nVerify CONFIG ==> FAIL !"},
        {200, 0, 0x7FFF, true,
         "FAIL: Verify APROM ==> FAIL !\nVerify DataFlash ==> PASS !\nVerify LDROM ==> PASS "
         "!\nVerify CONFIG ==> FAIL !"},
        {200, 0, 0x7FFF, false, "PASS: "},
    };
    for (const IcpCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.part) + " " + std::to_string(c.configByteChanged));
        std::array<std::uint8_t, 8> configBytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0xF1};
        ChipAnswer chip = chipOf(c.part, configBytes);
        chip.config[7 - c.configByteChanged] ^= 0x10;
        Scripts scripts;
        testing::addSingleIdentity(scripts, kindFor(c.part));
        scripts[0xC7] = {testing::icpReadScript(chip)};
        ScriptedBench s(scripts);
        s.bench.selectPart(c.part);
        ProgrammingJob& job = s.bench.job;
        job.configBytes = configBytes;
        job.updateAprom = job.updateLdrom = job.updateConfig = c.tickAll;
        job.updateDataFlash = c.tickAll && c.part == 200;
        setImage(job.imageAprom, c.part == 200 ? 0x8000 : 0x4000);
        setImage(job.imageDataFlash, c.part == 200 ? 0x1000 : 0);
        setImage(job.imageLdrom, 0x100);
        if (c.apromByteChanged >= 0)
            job.imageAprom.data[c.apromByteChanged] ^= 1;
        ReadBackState readBack;

        EXPECT_EQ(verifyWorker(s.bench.session, readBack), c.box.starts_with("PASS"));
        EXPECT_EQ(s.bench.op.boxes(), std::vector<std::string>{c.box});
        EXPECT_TRUE(s.bench.op.readBacks().empty()) << "a verify opens no viewer";
        EXPECT_FALSE(readBack.readForVerifying);
        const auto events = s.bench.op.events();
        EXPECT_NE(std::find(events.begin(), events.end(), "status: Read APROM for verifying..."),
                  events.end());
    }
}

TEST(VerifyChip, NoVerdictAfterAReadThatStopped) {
    // A locked 32-bit chip, then a programmer that stops answering within the APROM.
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked);
        ChipAnswer chip = chipOf(200, {});
        chip.status = locked ? 1 : 0;
        Scripts scripts;
        testing::addSingleIdentity(scripts, 0xAD);
        scripts[0xC7] = {testing::icpReadScript(chip)};
        // Replies: identify, three of the version, the acknowledge, the CONFIG, the status,
        // then the APROM blocks.
        std::vector<sim::Fault> faults;
        if (!locked)
            faults.push_back({sim::Fault::Kind::NoAnswer, 7 + 10, 0, std::nullopt, 0});
        ScriptedBench s(scripts, faults);
        s.bench.selectPart(200);
        s.bench.job.updateAprom = true;
        ReadBackState readBack;
        EXPECT_FALSE(verifyWorker(s.bench.session, readBack));
        EXPECT_EQ(s.bench.op.boxes(),
                  std::vector<std::string>{locked ? "WARNING: Chip was locked !"
                                                  : "FAIL: Receive data error !"});
        EXPECT_EQ(readBack.readComplete, !locked);
        // The APROM blocks that arrived are kept.
        EXPECT_EQ(readBack.aprom[0], locked ? 0xFF : testing::chipByte(0));
        EXPECT_EQ(readBack.aprom[9 * 256], 0xFF);
    }
}

}  // namespace
}  // namespace tarnel

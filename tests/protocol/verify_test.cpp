// Verify Chip: the ISP page stream and the ICP read-back comparison.

#include <gtest/gtest.h>

#include <span>

#include "operations/verify.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Bytes = std::vector<std::uint8_t>;

std::uint8_t contentByte(std::size_t offset) {
    return static_cast<std::uint8_t>(offset * 7 + offset / 256);
}

Bytes content(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = contentByte(i);
    return bytes;
}

// An image of content() (the fixtures' pattern with seed 0).
void setImage(ImageBuffer& image, std::uint32_t length, ImageRegion region = ImageRegion::Aprom) {
    testing::setImage(image, region, length, 0, "image.bin");
}

// A programmer of the given kind with a chip that holds content() in every region.
sim::LoopbackDevice& programmerWithChip(LinkBench& bench, std::uint8_t kind, sim::SimChip chip = {},
                                        std::vector<sim::Fault> faults = {}) {
    chip.aprom = chip.dataFlash = chip.ldrom = content(0x40000);
    return bench.singlePort(
        testing::withSockets(testing::singleScenario(kind, 0x0619, std::move(faults)), {chip}));
}

struct IspCase {
    std::uint32_t length;
    int differingOffset;  // changed in the image; -1: none
    std::size_t bytesSent;
    std::string box;
};

TEST(VerifyChip, IspStreamsTheApromImagePageByPage) {
    const std::vector<IspCase> cases = {
        {300, -1, 300, "PASS: Verify APROM ==> PASS !\n"},
        {0, -1, 0, "PASS: Verify APROM ==> PASS !\n"},
        {600, 300, 512, "FAIL: Verify APROM ==> FAIL !\n"},
    };
    for (const IspCase& c : cases) {
        SCOPED_TRACE(c.length);
        LinkBench bench;
        auto& device = programmerWithChip(bench, 0xAA);
        bench.selectPart(2);
        bench.job.updateAprom = bench.job.updateConfig = true;
        setImage(bench.job.imageAprom, c.length);
        if (c.differingOffset >= 0)
            bench.job.imageAprom.data[c.differingOffset] ^= 1;
        ReadBackState readBack;

        const std::uint64_t start = bench.clock.nowMs();
        EXPECT_EQ(verifyWorker(bench.session, readBack), c.differingOffset < 0);
        EXPECT_EQ(bench.op.boxes(), std::vector<std::string>{c.box});
        const std::uint32_t last = bench.job.imageAprom.lastAddress;
        using testing::byteOf;
        const Bytes header = {
            0xC0, 0xC1, 0xC7, 0x02, 0x02, byteOf(last, 16), byteOf(last, 8), byteOf(last, 0), 0x09};
        const auto& image = bench.job.imageAprom.data;
        EXPECT_EQ(
            device.line().hostWrites(),
            testing::joinBytes({header, std::span<const std::uint8_t>(image).first(c.bytesSent)}));
        if (c.differingOffset < 0) {
            // One pause after the version command and after each of the six values.
            EXPECT_EQ(bench.clock.nowMs() - start, 7u);
            EXPECT_EQ(bench.op.stepCount(), static_cast<int>((c.length + 255) / 256));
        }
    }
}

TEST(VerifyChip, IspRefusesAnOversizedImageBeforeSearching) {
    LinkBench bench;
    auto& device = programmerWithChip(bench, 0xAA);
    bench.selectPart(2);
    setImage(bench.job.imageAprom, 0x3900);  // the part holds 0x3800
    ReadBackState readBack;
    EXPECT_FALSE(verifyWorker(bench.session, readBack));
    EXPECT_TRUE(device.line().hostWrites().empty());
    EXPECT_EQ(bench.op.boxes().size(), 1u);
}

struct IcpCase {
    std::uint32_t part;
    std::uint8_t kind;
    int configByteChanged;  // index in configBytes changed on the chip, -1: none
    int apromByteChanged;   // offset changed in the image, -1: none
    bool tickAll;
    std::string box;
};

TEST(VerifyChip, IcpLinesPerRegionAndConfigWidths) {
    const std::string aprom = "Verify APROM ==> PASS !\n";
    const std::string ldrom = "Verify LDROM ==> PASS !\n";
    const std::vector<IcpCase> cases = {
        // A plain 8051 part compares the two bytes first on the wire, a Pike part CONFIG0,
        // a 32-bit part all eight.
        {103, 0xAB, 5, -1, true, "PASS: " + aprom + ldrom + "Verify CONFIG ==> PASS !"},
        {103, 0xAB, 6, -1, true, "FAIL: " + aprom + ldrom + "Verify CONFIG ==> FAIL !"},
        {136, 0xA4, 3, -1, true, "PASS: " + aprom + ldrom + "Verify CONFIG ==> PASS !"},
        {136, 0xA4, 4, -1, true, "FAIL: " + aprom + ldrom + "Verify CONFIG ==> FAIL !"},
        {200, 0xAD, 0, 0x7FFF, true,
         "FAIL: Verify APROM ==> FAIL !\nVerify DataFlash ==> PASS !\n" + ldrom +
             "Verify CONFIG ==> FAIL !"},
        {200, 0xAD, 0, 0x7FFF, false, "PASS: "},
    };
    for (const IcpCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.part) + " " + std::to_string(c.configByteChanged));
        LinkBench bench;
        const std::array<std::uint8_t, 8> configBytes{0x11, 0x22, 0x33, 0x44,
                                                      0x55, 0x66, 0x77, 0xF1};
        sim::SimChip chip;
        chip.config = configBytes;  // c0 0xF1: a Pike part's DataFlash is off
        chip.config[c.configByteChanged] ^= 0x10;
        programmerWithChip(bench, c.kind, chip);
        bench.selectPart(c.part);
        ProgrammingJob& job = bench.job;
        job.configBytes = configBytes;
        job.updateAprom = job.updateLdrom = job.updateConfig = c.tickAll;
        job.updateDataFlash = c.tickAll && c.part == 200;
        setImage(job.imageAprom, job.part().apromLastAddress + 1);
        setImage(job.imageDataFlash, c.part == 200 ? 0x1000 : 0, ImageRegion::DataFlash);
        setImage(job.imageLdrom, 0x100, ImageRegion::Ldrom);
        if (c.apromByteChanged >= 0)
            job.imageAprom.data[c.apromByteChanged] ^= 1;
        ReadBackState readBack;

        EXPECT_EQ(verifyWorker(bench.session, readBack), c.box.starts_with("PASS"));
        EXPECT_EQ(bench.op.boxes(), std::vector<std::string>{c.box});
        EXPECT_TRUE(bench.op.readBacks().empty()) << "a verify opens no viewer";
        EXPECT_FALSE(readBack.readForVerifying);
        EXPECT_GT(bench.op.eventCount("status: Read APROM for verifying..."), 0);
    }
}

TEST(VerifyChip, NoVerdictAfterAReadThatStopped) {
    // A programmer that stops answering within the APROM of a 32-bit chip: its answers are
    // identify, three of the version, the acknowledge, the CONFIG, the status, then the APROM
    // blocks from step 8.
    LinkBench bench;
    programmerWithChip(bench, 0xAD, {}, {{sim::Fault::Kind::NoAnswer, 17, 0, std::nullopt, 0}});
    bench.selectPart(200);
    bench.job.updateAprom = true;
    ReadBackState readBack;
    EXPECT_FALSE(verifyWorker(bench.session, readBack));
    EXPECT_EQ(bench.op.boxes(), std::vector<std::string>{"FAIL: Receive data error !"});
    EXPECT_TRUE(readBack.readComplete);
    // The APROM blocks that arrived are kept, the rest reads 0xFF.
    EXPECT_EQ(readBack.aprom[9 * 256 - 1], contentByte(9 * 256 - 1));
    EXPECT_EQ(readBack.aprom[9 * 256], 0xFF);
}

}  // namespace
}  // namespace tarnel

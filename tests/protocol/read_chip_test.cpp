// Read Chip: the DataFlash-in-APROM arithmetic, the ICP read on the wire, the chip status,
// the ISP CONFIG read and the gang socket connection.

#include <gtest/gtest.h>

#include "operations/read_chip.h"
#include "support/link_bench.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Bytes = std::vector<std::uint8_t>;
using Boxes = std::vector<std::string>;

struct PlanCase {
    std::uint32_t part;
    std::uint8_t c0, c1, c5, c6;  // the chip's CONFIG bytes that the rules read
    std::uint8_t jobC0;           // the job's CONFIG0 low byte
    std::uint32_t readLimit, apromLast, dataFlashLast;
    bool readDataFlash;
    std::uint8_t startHigh, startMid;
};

TEST(ReadPlan, DataFlashInAprom) {
    constexpr std::uint32_t kNone = kNothingToRead;
    const std::vector<PlanCase> cases = {
        // Kite (DFBADR 0x1F000 with the job's CONFIG0 0xFF is the Kite read test's).
        {203, 0x7A, 0, 0xF0, 0x01, 0xFA, 0x20000, 0x1EFFF, 0x1FFF, true, 0x01, 0xF0},
        {203, 0x7B, 0, 0xF0, 0x01, 0xFF, 0x20000, 0x1FFFF, 0xFFF, false, 0x01, 0xF0},
        {203, 0x7A, 0, 0x00, 0x02, 0xFF, 0x20000, 0x1FFFF, kNone, false, 0x02, 0x00},
        // Sonra: the LDROM bit decides the flash size.
        {1000, 0x7A, 0, 0x00, 0x02, 0xFF, 0x24400, 0x1FFFF, 0x43FF, true, 0x02, 0x00},
        {1000, 0x7E, 0, 0x00, 0x02, 0xFF, 0x23400, 0x1FFFF, 0x33FF, true, 0x02, 0x00},
        {1000, 0x7F, 0, 0x00, 0x02, 0xFF, 0x23400, 0x233FF, 0x33FF, false, 0x02, 0x00},
        // Wren and Teal: the flash ends with APROM.
        {850, 0x7A, 0, 0x0E, 0x00, 0xFF, 0x1000, 0xDFF, 0x1FF, true, 0x00, 0x0E},
        {900, 0x7A, 0, 0x3E, 0x00, 0xFF, 0x4000, 0x3DFF, 0x1FF, true, 0x00, 0x3E},
        // Pike: CONFIG1 holds the DataFlash base in pages.
        {136, 0xFE, 0x38, 0, 0, 0xFF, 0x20000, 0x37FF, 0x7FF, true, 0x00, 0x38},
        {136, 0xFF, 0x38, 0, 0, 0xFF, 0x20000, 0x3FFF, 0x7FF, false, 0x00, 0x38},
        // A fixed DataFlash.
        {200, 0x7A, 0, 0x00, 0x00, 0xFF, 0x20000, 0x7FFF, 0xFFF, true, 0x01, 0xF0},
        // CONFIG words that fit no memory map stay within the read-back buffers.
        {136, 0xFE, 0x50, 0, 0, 0xFF, 0x20000, 0x4FFF, kNone, true, 0x00, 0x50},
        {203, 0x7A, 0, 0x00, 0xFF, 0xFF, 0x20000, 0x3FFFF, kNone, false, 0xFF, 0x00},
    };
    const ChipCatalogue catalogue;
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.part) + " c0 " + std::to_string(c.c0));
        const std::array<std::uint8_t, 8> chip{c.c0, c.c1, 0, 0, 0, c.c5, c.c6, 0};
        const std::array<std::uint8_t, 8> job{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, c.jobC0};
        const IcpReadPlan plan = planIcpRead(catalogue.partAt(c.part), job, chip, 0x20000);
        EXPECT_EQ(plan.readLimit, c.readLimit);
        EXPECT_EQ(plan.apromLast, c.apromLast);
        EXPECT_EQ(plan.dataFlashLast, c.dataFlashLast);
        EXPECT_EQ(plan.readDataFlash, c.readDataFlash);
        EXPECT_EQ(plan.dataFlashStartHigh, c.startHigh);
        EXPECT_EQ(plan.dataFlashStartMid, c.startMid);
    }
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13 + seed + i / 256);
    return bytes;
}

TEST(ReadChip, IcpReadOfAKitePartWithDataFlashInAprom) {
    LinkBench bench;
    sim::SimChip chip;
    chip.partIndex = 203;
    chip.aprom = pattern(0x20000, 1);
    chip.dataFlash = pattern(0x1000, 2);
    chip.ldrom = pattern(0x1000, 3);
    chip.config = {0xFF, 0x01, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7A};  // DFBADR 0x1F000
    auto& device = bench.singlePort(testing::withSockets(testing::singleScenario(0xAD), {chip}));
    bench.selectPart(203);
    bench.job.configBytes[7] = 0xFF;
    ReadBackState readBack;

    const std::uint64_t start = bench.clock.nowMs();
    ASSERT_TRUE(readWorker(bench.session, readBack));
    EXPECT_TRUE(bench.op.boxes().empty());
    EXPECT_TRUE(device.errors().empty());
    EXPECT_EQ(device.line().hostWrites(),
              (Bytes{0xC0, 0xC1, 0xC9, 0xCB, 0x00, 0x00, 0x02, 0x0E, 0x68, 0x00, 0x01, 0xEF,
                     0xFF, 0x00, 0x0F, 0xFF, 0x0F, 0xFF, 0x01, 0xF0, 0x00, 0xFF, 0xFF}));
    // The pause after the version command and after each of the 17 values.
    EXPECT_EQ(bench.clock.nowMs() - start, 18u);

    EXPECT_EQ(readBack.apromReadLast, 0x1EFFFu);
    EXPECT_EQ(readBack.dataFlashReadLast, 0xFFFu);
    EXPECT_TRUE(readBack.dataFlashReadValid);
    EXPECT_TRUE(readBack.ldromReadValid);
    EXPECT_TRUE(
        std::equal(chip.aprom.begin(), chip.aprom.begin() + 0x1F000, readBack.aprom.begin()));
    EXPECT_EQ(readBack.aprom[0x1F000], 0xFF);
    EXPECT_TRUE(
        std::equal(chip.dataFlash.begin(), chip.dataFlash.end(), readBack.dataFlash.begin()));
    EXPECT_TRUE(std::equal(chip.ldrom.begin(), chip.ldrom.end(), readBack.ldrom.begin()));
    EXPECT_EQ(readBack.config, chip.config);
    EXPECT_EQ(readBack.chipConfig,
              (std::array<std::uint8_t, 8>{0x7A, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0x01, 0xFF}));
    EXPECT_EQ(readBack.chipConfigPartIndex, 203u);
    ASSERT_EQ(bench.op.readBacks().size(), 1u);
    EXPECT_EQ(bench.op.readBacks()[0].apromReadLast, 0x1EFFFu);
    for (const char* status : {"status: Read APROM...", "status: Read DataFlash...",
                               "status: Read LDROM...", "status: Read CONFIG..."})
        EXPECT_GT(bench.op.eventCount(status), 0) << status;
    EXPECT_EQ(bench.op.stepCount(), 496 + 32 + 16 + 1);
}

struct StatusCase {
    std::uint32_t part;
    std::uint8_t kind;
    bool locked, wrongId;
    std::string box;
    bool viewer;
};

TEST(ReadChip, LockedChipsAndWrongDeviceIds) {
    const std::string longText =
        "WARNING: Chip was previously locked !\n\nAPROM and CONFIG will be read 0xFF.\nDataFlash "
        "will also be read 0xFF unless it was not locked.";
    const std::vector<StatusCase> cases = {
        {103, 0xAB, true, false, longText, true},
        {132, 0xB2, true, false, "WARNING: Chip was locked !", true},
        {200, 0xAD, true, false, "WARNING: Chip was locked !", false},
        {136, 0xA4, true, false, "WARNING: Chip was locked !", false},
        {200, 0xAD, false, true, "FAIL: Device ID error !\nPlease select the correct Part No.",
         false},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.part);
        LinkBench bench;
        sim::SimChip chip;
        chip.aprom = pattern(0x8000, 5);
        chip.locked = c.locked;
        chip.wrongDeviceId = c.wrongId;
        auto& device =
            bench.singlePort(testing::withSockets(testing::singleScenario(c.kind), {chip}));
        bench.selectPart(c.part);
        ReadBackState readBack;
        readBack.readComplete = true;

        EXPECT_EQ(readWorker(bench.session, readBack), c.viewer);
        EXPECT_EQ(bench.op.boxes(), Boxes{c.box});
        EXPECT_EQ(bench.op.readBacks().size(), c.viewer ? 1u : 0u);
        EXPECT_EQ(readBack.readComplete, c.viewer);
        EXPECT_TRUE(device.errors().empty()) << "the status was answered with 0x00";
        if (c.viewer) {
            EXPECT_EQ(readBack.aprom[0], 0xFF) << "the lock hides APROM";
        }
    }
}

TEST(ReadChip, IspProgrammerReadsOnlyTheConfigWords) {
    for (const std::uint32_t part : {2u, 40u}) {
        SCOPED_TRACE(part);
        LinkBench bench;
        sim::SimChip chip;
        chip.config = {1, 2, 3, 4, 5, 6, 7, 8};
        auto& device =
            bench.singlePort(testing::withSockets(testing::singleScenario(0xAA), {chip}));
        bench.selectPart(part);
        ReadBackState readBack;
        ASSERT_TRUE(readWorker(bench.session, readBack));
        const std::uint8_t chipCode = bench.job.part().legacyChipCode;
        EXPECT_EQ(device.line().hostWrites(),
                  (Bytes{0xC0, 0xC1, 0xC9, static_cast<std::uint8_t>(part), chipCode}));
        EXPECT_EQ(readBack.chipConfig, (std::array<std::uint8_t, 8>{8, 7, 6, 5, 4, 3, 2, 1}));
        EXPECT_TRUE(bench.op.readBacks().empty());
        ASSERT_EQ(bench.op.configViews().size(), 1u);
        const auto view = bench.op.configViews()[0];
        EXPECT_EQ(view.layout, part == 40 ? ConfigLayout::Pike : ConfigLayout::Ferro);
        EXPECT_EQ(view.bytes, chip.config);
        EXPECT_FALSE(readBack.showChipConfigMode);
    }
}

struct SocketCase {
    sim::Fault syncFault;
    std::string box;  // empty: the read goes on
};

TEST(GangSocket, ChosenSocketIsConnectedAndItsSyncByteChecked) {
    using Kind = sim::Fault::Kind;
    // The gang programmer's answers: identify, version (3), then 0xAF and the sync byte (6).
    // A sync byte 7 s late is still taken, and the read goes on.
    const std::vector<SocketCase> cases = {
        {sim::Fault{Kind::LateReply, 6, 1, std::nullopt, 7000}, ""},
        {sim::Fault{Kind::WrongByte, 6, 1, 0x02, 0}, "FAIL: Sync #3 error !"},
        {sim::Fault{Kind::LateReply, 6, 1, std::nullopt, 8500}, "FAIL: Receive data error !"},
    };
    for (const SocketCase& c : cases) {
        SCOPED_TRACE(c.box);
        LinkBench bench;
        sim::Scenario scenario = testing::gangScenario();
        scenario.faults = {c.syncFault};
        scenario.units[2].chip.config = {0, 0, 0, 0, 0, 0, 0, 0x33};
        auto& device = bench.singlePort(scenario);
        bench.selectPart(103, true);
        bench.op.setSocketAnswer(3);
        ReadBackState readBack;

        const bool connected = prepareGangSocket(bench.session, readBack);
        EXPECT_EQ(readBack.socketChoice, 3);
        EXPECT_EQ(bench.link.timeouts(), kStandardTimeouts);
        EXPECT_EQ(device.line().hostWrites(), (Bytes{0xC0, 0xC1, 0xCE}));
        if (!c.box.empty()) {
            EXPECT_FALSE(connected);
            EXPECT_EQ(bench.op.boxes(), Boxes{c.box});
            continue;
        }
        ASSERT_TRUE(connected);
        ASSERT_TRUE(readWorker(bench.session, readBack));
        EXPECT_EQ(readBack.config[7], 0x33) << "socket #3's chip was read";
    }
}

}  // namespace
}  // namespace tarnel

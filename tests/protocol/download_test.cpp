// Download Programmer against the simulated programmers: the storage record on the wire, the
// region transfers, checksum verdicts, failures at each step, and the gang header and units.

#include <gtest/gtest.h>

#include <numeric>

#include "operations/download.h"
#include "operations/storage_record.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Kind = sim::Fault::Kind;

sim::Fault fault(Kind kind, int step, int count = 1, std::optional<std::uint8_t> value = {},
                 std::uint32_t delayMs = 0) {
    return sim::Fault{kind, step, count, value, delayMs};
}

using Boxes = std::vector<std::string>;
const Boxes kPassDownloaded{"PASS: Programmer is successfully downloaded !"};

using testing::apromJob;

TEST(StorageRecord, DataFlashBaseRules) {
    const std::array<std::uint8_t, 8> config{0x00, 0x01, 0xFE, 0x00, 0xFF, 0xFF, 0x3A, 0xFF};
    const ChipCatalogue catalogue;
    auto base = [&](std::uint32_t index) { return dataFlashBase(catalogue.partAt(index), config); };
    using Base = std::array<std::uint8_t, 2>;
    EXPECT_EQ(base(38), (Base{0x01, 0x00}));   // legacy CONFIG part, DataFlash in APROM
    EXPECT_EQ(base(203), (Base{0x01, 0xFE}));  // 32-bit, DataFlash in APROM: CONFIG1 bits
    EXPECT_EQ(base(136), (Base{0x00, 0x3A}));  // Pike, DataFlash in APROM: CONFIG0 byte 1
    EXPECT_EQ(base(132), (Base{0x01, 0x02}));  // Tern
    // Fixed DataFlash at 0xFC00 (at 0x1F000 in the record on the wire below).
    EXPECT_EQ(base(100), (Base{0x00, 0xFC}));
}

TEST(Download, StorageRecordAndRegionsOnTheWire) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::singleScenario(0xAD));  // ICP_Vexa
    ProgrammingJob& job = bench.job;
    bench.selectPart(300);  // index 0x12C, fixed DataFlash at 0x1F000
    job.updateAprom = job.updateLdrom = job.updateConfig = true;
    job.usageLimitEnabled = true;
    job.usageTimesHigh = 0x01;
    job.usageTimesLow = 0xF4;
    testing::setImage(job.imageAprom, ImageRegion::Aprom, 0x1234, 3, "app.bin");
    testing::setImage(job.imageDataFlash, ImageRegion::DataFlash, 0x40, 5, "data.bin");
    testing::setImage(job.imageLdrom, ImageRegion::Ldrom, 0x101, 7, "boot.bin");
    testing::finishImages(job);

    downloadWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(), kPassDownloaded);
    EXPECT_TRUE(bench.session.downloadSucceeded());
    EXPECT_TRUE(device.errors().empty()) << device.errors().front();
    const auto writes = device.line().hostWrites();
    ASSERT_GE(writes.size(), 3u + 52 + 16 + 3 * 64);
    EXPECT_EQ(testing::slice(writes, 0, 3), (std::vector<std::uint8_t>{0xC0, 0xC1, 0xC2}));
    const auto& a = job.imageAprom;
    const auto& d = job.imageDataFlash;
    const auto& l = job.imageLdrom;
    const std::uint32_t sum = std::accumulate(a.data.begin(), a.data.begin() + 0x1234, 0u);
    const std::uint32_t ldromSum = std::accumulate(l.data.begin(), l.data.begin() + 0x101, 0u);
    const auto byte = testing::byteOf;
    // clang-format off
    const std::vector<std::uint8_t> expected = {
        0x2C, 0x01, 0x00,                                      // part index low first, chip code
        0x00, 0x12, 0x33,                                      // APROM last address 0x1233
        byte(sum, 24), byte(sum, 16), byte(sum, 8), byte(sum, 0), a.fileMinute, a.fileSecond,
        0x00, 0x00, 0x3F,                                      // DataFlash last address
        0x00, 0x00, 0x00, 0x00,                                // not ticked: sum bytes zeroed
        d.fileMinute, d.fileSecond,
        0x01, 0x00,                                            // LDROM last address 0x100
        byte(ldromSum, 16), byte(ldromSum, 8), byte(ldromSum, 0), l.fileMinute, l.fileSecond,
        0xFF, 0xFF, 0x9F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,        // CONFIG0, CONFIG1, low byte first
        0x8B,                                                  // ICP, APROM, LDROM, CONFIG
        0x00, 0x00, 0x00, 0x02, 0x0F, 0x2A, 0x00, 0x00,        // pages, start page, params, id
        0x01, 0xF4,                                            // usage limit 500
        0x01, 0xF0, 0x00, 0x00, 0x00};                         // base, algo flag, gang, 0x1F000
    // clang-format on
    EXPECT_EQ(testing::slice(writes, 3, 52), expected);
    EXPECT_EQ(testing::slice(writes, 55, 16), testing::zeroPadded("QK300", 16));

    // 0x13 blocks for 0x1234 bytes, each stepped when sent and when re-read; LDROM 2 and 2.
    EXPECT_EQ(bench.op.stepCount(), 2 * 0x13 + 2 * 2);
    testing::settle(bench);
    const auto stored = device.programmer()->state().setup;
    EXPECT_TRUE(stored.present);
    EXPECT_EQ(stored.aprom.data, testing::slice(a.data, 0, 0x1234));
    EXPECT_EQ(stored.ldrom.data.size(), 0x101u);
    EXPECT_TRUE(stored.dataFlash.data.empty());
    EXPECT_EQ(stored.aprom.name, "app.bin");
    EXPECT_EQ(writes.back(), 0x00) << "the last checksum is confirmed";
}

TEST(Download, LegacyPartWithoutRegionsNorLimit) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::singleScenario(0xA5));  // ISP_only
    ProgrammingJob& job = bench.job;
    bench.selectPart(38);  // "QM238": five characters
    job.updateConfig = true;
    testing::finishImages(job);

    downloadWorker(bench.session);

    EXPECT_TRUE(bench.op.boxes().empty()) << "no region: no PASS box";
    EXPECT_TRUE(bench.session.downloadSucceeded());
    EXPECT_TRUE(device.errors().empty()) << device.errors().front();
    const auto writes = device.line().hostWrites();
    ASSERT_EQ(writes.size(), 3u + 52 + 16 + 3 * 64);
    EXPECT_EQ(writes[3 + 45], 0xFF);  // fields 46, 47: no usage limit
    EXPECT_EQ(writes[3 + 46], 0xFF);
    EXPECT_EQ(writes[3 + 36], 0x41);  // separate APROM erase, CONFIG
    EXPECT_EQ(testing::slice(writes, 55, 16), testing::zeroPadded("QM238", 16));
}

TEST(Download, EmptyImageIsConfirmedAgainstZeroSum) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::singleScenario(0xAD));
    apromJob(bench, 0);

    downloadWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(), kPassDownloaded);
    EXPECT_EQ(bench.op.stepCount(), 0);
    testing::settle(bench);
    EXPECT_TRUE(device.programmer()->state().setup.present);
}

// A programmer on other firmware whose carried firmware file is missing: the failed load ends
// the command before the storage command goes out.
TEST(Download, FailedFirmwareLoadStopsTheCommand) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::singleScenario(0xAD, 0x0600));
    apromJob(bench, 0x100);

    downloadWorker(bench.session);

    const auto boxes = bench.op.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].find("cannot be opened !"), std::string::npos) << boxes[0];
    EXPECT_EQ(boxes[1], "FAIL: Update programmer error !");
    EXPECT_FALSE(bench.session.downloadSucceeded());
    const auto writes = device.line().hostWrites();
    EXPECT_EQ(std::count(writes.begin(), writes.end(), command::kDownloadStorage), 0);
    testing::settle(bench);
    EXPECT_FALSE(device.programmer()->state().setup.present);
}

// The programmer's answers in a single download of one 0x300-byte APROM image: identify (1),
// version (2..4), two acks (5, 6), record ack (7), part number and names (8..11), storage
// cleared (12), ready (13), three block acks (14..16), three re-read acks (17..19), sum (20).
// The erase may take 5 s; a sum that differs is refused and nothing is stored.
TEST(Download, SlowEraseIsWaitedForAndAWrongSumIsRefused) {
    for (const bool wrongSum : {false, true}) {
        SCOPED_TRACE(wrongSum);
        LinkBench bench;
        const sim::Fault f =
            wrongSum ? fault(Kind::WrongByte, 20) : fault(Kind::LateReply, 12, 1, {}, 4500);
        auto& device = bench.singlePort(testing::singleScenario(0xAD, 0x0619, {f}));
        apromJob(bench, 0x300);

        downloadWorker(bench.session);

        EXPECT_EQ(bench.op.boxes(), wrongSum ? Boxes{"FAIL: Programmer's storage checksum error !"}
                                             : kPassDownloaded);
        EXPECT_EQ(bench.session.downloadSucceeded(), !wrongSum);
        EXPECT_EQ(device.line().hostWrites().back(), wrongSum ? 0xFF : 0x00);
        testing::settle(bench);
        EXPECT_EQ(device.programmer()->state().setup.present, !wrongSum);
    }
}

TEST(GangDownload, HeaderUnitsAndSyncBytes) {
    for (const std::uint16_t version : {std::uint16_t{0x0619}, std::uint16_t{0x0118}}) {
        SCOPED_TRACE(version);
        LinkBench bench;
        auto& device = bench.singlePort(testing::gangScenario(version));
        ProgrammingJob& job = bench.job;
        bench.selectPart(100, true);  // "QM400"
        job.updateAprom = job.updateConfig = true;
        job.gangVerifyOnly = true;
        testing::setImage(job.imageAprom, ImageRegion::Aprom, 0x300, 9, "g.bin");
        testing::finishImages(job);

        ASSERT_TRUE(prepareGangDownload(bench.session));
        downloadWorker(bench.session);

        EXPECT_EQ(bench.op.boxes(), Boxes{"PASS: Gang Programmer is successfully downloaded !"});
        EXPECT_TRUE(bench.session.downloadSucceeded());
        EXPECT_EQ(bench.session.socketNumber(), 0);
        testing::settle(bench);
        EXPECT_TRUE(device.errors().empty()) << device.errors().front();
        const auto header = device.gangProgrammer()->gangState().header;
        if (version < 0x0119) {
            EXPECT_TRUE(header.empty()) << "an old gang programmer takes the command byte only";
        } else {
            const auto& a = job.imageAprom;
            // The fixed part then the part number with its NUL.
            EXPECT_EQ(
                testing::slice(header, 0, 10),
                (std::vector<std::uint8_t>{0x00, 0xFF, a.headerChecksum[1], a.headerChecksum[0], 0,
                                           0, 0, 0, a.configSum[1], a.configSum[0]}));
            EXPECT_EQ(std::string(header.begin() + 10, header.end() - 1), "QM400");
            EXPECT_EQ(header.back(), 0);
        }
        for (int unit = 1; unit <= 4; ++unit) {
            const auto setup = device.gangProgrammer()->unit(unit).state().setup;
            EXPECT_TRUE(setup.present) << unit;
            EXPECT_TRUE(setup.gangVerifyOnly) << unit;
        }
        EXPECT_EQ(
            bench.op.eventCount("status: Verify Programmer's Storage (for APROM) <4 of 4>..."), 1);
    }
}

// Unit #2's LDROM checksum reply starts with 0x01: that unit fails, the others are stored,
// and the run reports no success. Answers: 10 before unit #1; per unit identify, version (3),
// two acks, record ack, four field acks, clear, ready, one block, one re-read, the sum; sync.
TEST(GangDownload, UnitChecksumErrorGoesOnWithoutSuccess) {
    sim::Scenario scenario = testing::gangScenario(0x0619, {fault(Kind::WrongByte, 43, 1, 0x01)});
    for (auto& unit : scenario.units)
        unit.kind = 0xA4;  // ICP_QB7710 serves the Pike parts
    LinkBench bench;
    auto& device = bench.singlePort(scenario);
    bench.selectPart(136, true);  // 2 KB LDROM
    bench.job.updateLdrom = true;
    testing::setImage(bench.job.imageLdrom, ImageRegion::Ldrom, 0x100, 3, "l.bin");
    testing::finishImages(bench.job);
    ASSERT_TRUE(prepareGangDownload(bench.session));

    downloadWorker(bench.session);

    EXPECT_EQ(bench.op.boxes(), Boxes{"FAIL: Programmer's storage checksum error !"});
    EXPECT_FALSE(bench.session.downloadSucceeded());
    EXPECT_EQ(bench.session.socketNumber(), 0);
    testing::settle(bench);
    for (int unit = 1; unit <= 4; ++unit)
        EXPECT_EQ(device.gangProgrammer()->unit(unit).state().setup.present, unit != 2) << unit;
    EXPECT_TRUE(device.errors().empty()) << device.errors().front();
}

TEST(GangDownload, WrongSyncByteStopsWithItsNumber) {
    LinkBench bench;
    // Answers: identify and version in the preparation and again in the worker (8), the
    // header's acknowledge, then sync #1.
    bench.singlePort(testing::gangScenario(0x0619, {fault(Kind::WrongByte, 10, 1, 0x07)}));
    bench.selectPart(100, true);
    testing::finishImages(bench.job);
    ASSERT_TRUE(prepareGangDownload(bench.session));
    bench.op.clear();
    downloadWorker(bench.session);
    EXPECT_EQ(bench.op.boxes(), Boxes{"FAIL: Sync #1 error !"});
    EXPECT_FALSE(bench.session.downloadSucceeded());
    EXPECT_EQ(bench.session.socketNumber(), 0);
}

}  // namespace
}  // namespace tarnel

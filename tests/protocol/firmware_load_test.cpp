// Programmer firmware loads: the bytes on the wire, progress, pauses, version checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <span>

#include "core/atomic_file.h"
#include "link/port_table.h"
#include "sim/synthetic_firmware.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Check = ProgrammerSession::FirmwareCheck;
using Boxes = std::vector<std::string>;

// Opens the remembered port of a bench whose device is an ICP programmer and makes ICP the
// current variant, as a search would.
void readyForLoad(LinkBench& bench, std::uint8_t kind = 0xAB) {
    ASSERT_TRUE(bench.openRemembered());
    bench.session.assumeFirmware(rowOfKind(kind)->variant, 0);
}

// An ICP programmer at 0x0600 on the remembered port, `file` its ICP firmware file, ready to
// load it.
sim::LoopbackDevice& icpLoad(LinkBench& bench, const std::vector<std::uint8_t>& file,
                             std::vector<sim::Fault> faults = {}) {
    auto& device = bench.singlePort(testing::singleScenario(0xAB, 0x0600, std::move(faults)));
    writeFileAtomically(bench.session.firmwarePath("v0619_MainMCU_ICP.DAT"), file);
    readyForLoad(bench);
    return device;
}

struct SingleLoadCase {
    std::size_t size;
    std::uint16_t lastAddress;
    int progressRange;
};

TEST(SingleFirmwareLoad, BytesOnTheWire) {
    for (const SingleLoadCase c : {SingleLoadCase{0x2A00, 0x29FF, 84}, {0x2A10, 0x2A0F, 86}}) {
        SCOPED_TRACE(c.size);
        LinkBench bench;
        const auto file = sim::syntheticFirmware(0xAB, 0x0619, c.size);
        auto& device = icpLoad(bench, file);
        const std::uint64_t start = bench.clock.nowMs();
        ASSERT_TRUE(bench.session.updateFirmware());

        // What went out: the complemented ranges, everything else as in the file.
        std::vector<std::uint8_t> sent = file;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if ((i >= 3 && i <= 0xFF) || (i >= 0x803 && i <= 0x8FF) || (i >= 0x2803 && i <= 0x28FF))
                sent[i] = static_cast<std::uint8_t>(~sent[i]);
        }
        const std::uint32_t sum = std::accumulate(sent.begin(), sent.end(), std::uint32_t{0});

        const std::vector<std::uint8_t> header = {0xC5,
                                                  static_cast<std::uint8_t>(c.lastAddress >> 8),
                                                  static_cast<std::uint8_t>(c.lastAddress & 0xFF),
                                                  static_cast<std::uint8_t>(sum >> 16),
                                                  static_cast<std::uint8_t>(sum >> 8),
                                                  static_cast<std::uint8_t>(sum)};
        const auto expected = testing::joinBytes({header, sent});
        EXPECT_EQ(device.line().hostWrites(), expected);
        EXPECT_EQ(device.programmer()->loadedFirmware(), sent);
        EXPECT_TRUE(device.errors().empty());

        // Acknowledges: command, header, one per block sent, one per block written; then the sum.
        const std::size_t blocks = (c.size + 255) / 256;
        std::vector<std::uint8_t> answers(2 + 2 * blocks, 0xA5);
        answers.insert(answers.end(), expected.begin() + 3, expected.begin() + 6);
        EXPECT_EQ(device.line().deviceWrites(), answers);

        EXPECT_EQ(bench.op.stepCount(), c.progressRange);
        EXPECT_GT(bench.op.eventCount("progress range " + std::to_string(c.progressRange)), 0);
        EXPECT_GT(bench.op.eventCount("status: !!! Note: Don't disconnect the Programmer while "
                                      "updating is in process..."),
                  0);
        EXPECT_EQ(bench.op.lastStatus(), "Ready...");
        EXPECT_EQ(bench.op.programmerTypeLabel(), "ICP");
        // Pauses: 1 ms after the command, 1 ms after each of five header bytes, 500 ms before
        // the ready acknowledge, 2000 ms at the end. The transfers take no virtual time.
        EXPECT_EQ(bench.clock.nowMs() - start, 1u + 5u + 500u + 2000u);
        // The programmer now runs what it was loaded with.
        EXPECT_EQ(device.programmer()->firmwareVersion(), 0x0619);
    }
}

TEST(FirmwareFiles, WorkingDirectoryFirstThenTheInstalledDirectory) {
    LinkBench bench;
    test::ScratchDir work;
    test::ScratchDir installed;
    bench.session.setFirmwareDirectory({});
    bench.job.workDirectory = work.path();
    bench.session.setFirmwareFallbackDirectory(installed.path());
    using Path = std::filesystem::path;  // compared as paths: separators differ on Windows
    const std::string name = "v0619_GangMCU.DAT";
    EXPECT_EQ(Path(bench.session.firmwarePath(name)), Path(work.file(name))) << "found nowhere";
    installed.write(name, "installed");
    EXPECT_EQ(Path(bench.session.firmwarePath(name)), Path(installed.file(name)));
    work.write(name, "local");
    EXPECT_EQ(Path(bench.session.firmwarePath(name)), Path(work.file(name)));
    bench.session.setFirmwareDirectory(installed.path());
    work.write("other.DAT", "x");
    EXPECT_EQ(Path(bench.session.firmwarePath("other.DAT")), Path(installed.file("other.DAT")))
        << "a given directory is the only place looked at";
}

TEST(SingleFirmwareLoad, ChecksumReplyThatDiffersFails) {
    LinkBench bench;
    // 0x2A00 bytes: answers 1 and 2, then 42 + 42 block acknowledges; the sum is answer 87.
    sim::Fault wrongSum{sim::Fault::Kind::WrongByte, 87, 1, std::nullopt, 0};
    auto& device = icpLoad(bench, sim::syntheticFirmware(1, 0x0619, 0x2A00), {wrongSum});
    EXPECT_FALSE(bench.session.updateFirmware());
    EXPECT_EQ(bench.op.boxes(), Boxes{"FAIL: Programmer's storage checksum error !"});
    testing::settle(bench);
    EXPECT_EQ(device.programmer()->firmwareLoads(), 1) << "the programmer kept what it wrote";
}

TEST(SingleFirmwareLoad, FilesThatCannotBeLoadedAreRefusedBeforeAnythingIsSent) {
    struct Case {
        std::string content;  // "missing" for no file
        std::size_t size;
        std::string message;
    };
    for (const Case& c :
         {Case{"missing", 0, " cannot be opened !"},
          Case{"file", kFirmwareCapacity + 1, " is larger than 14336 bytes and cannot be loaded !"},
          Case{"file", 0, " is empty !"}}) {
        LinkBench bench;
        auto& device = bench.singlePort(testing::singleScenario(0xAB));
        const std::string file = bench.session.firmwarePath("v0619_MainMCU_ICP.DAT");
        if (c.content != "missing")
            writeFileAtomically(file, std::vector<std::uint8_t>(c.size, 1));
        readyForLoad(bench);
        EXPECT_FALSE(bench.session.updateFirmware());
        EXPECT_EQ(bench.op.boxes(), Boxes{"FAIL: " + file + c.message});
        EXPECT_TRUE(device.line().hostWrites().empty());
    }
    // A file of exactly 14 KiB is still taken.
    LinkBench bench;
    auto& device = icpLoad(bench, sim::syntheticFirmware(0xAB, 0x0619, kFirmwareCapacity));
    EXPECT_TRUE(bench.session.updateFirmware());
    EXPECT_EQ(device.programmer()->loadedFirmware().size(), kFirmwareCapacity);
}

TEST(GangFirmwareLoad, ShortFileGoesOutPaddedTo4096BytesWithTheMidMarker) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::gangScenario(0x0500));
    const auto file = sim::syntheticFirmware(0xAF, 0x0619, 3000);
    writeFileAtomically(bench.session.firmwarePath("v0619_GangMCU.DAT"), file);
    ASSERT_TRUE(bench.openRemembered());
    const std::uint64_t start = bench.clock.nowMs();
    ASSERT_TRUE(bench.session.updateGangFirmware());

    std::vector<std::uint8_t> image = file;
    image.resize(4096, 0xFF);
    const std::span<const std::uint8_t> whole(image);
    const auto expected =
        testing::joinBytes({std::vector<std::uint8_t>{0xC5}, whole.first(2048),
                            std::vector<std::uint8_t>{0x5A}, whole.subspan(2048)});
    EXPECT_EQ(device.line().hostWrites(), expected);
    EXPECT_EQ(device.line().deviceWrites(), std::vector<std::uint8_t>(17, 0xAF));
    EXPECT_EQ(bench.op.stepCount(), 16);
    EXPECT_EQ(bench.op.progressMaximum(), 16);
    EXPECT_EQ(bench.clock.nowMs() - start, 1u + 1u + 250u + 2000u);
    EXPECT_TRUE(device.errors().empty());
    EXPECT_EQ(device.gangProgrammer()->firmwareVersion(), 0x0619);
}

TEST(GangFirmwareLoad, FileLongerThanTheWireCarriesIsRefused) {
    LinkBench bench;
    auto& device = bench.singlePort(testing::gangScenario(0x0500));
    const std::string path = bench.session.firmwarePath("v0619_GangMCU.DAT");
    writeFileAtomically(path, std::vector<std::uint8_t>(4097, 0));
    ASSERT_TRUE(bench.openRemembered());
    EXPECT_FALSE(bench.session.updateGangFirmware());
    EXPECT_EQ(bench.op.boxes(),
              Boxes{"FAIL: " + path + " is larger than 4096 bytes and cannot be loaded !"});
    EXPECT_TRUE(device.line().hostWrites().empty());
}

// Single: below 0490 0501 0505 0524 0601 0614; gang: below gang 0119 0145 0560, then 0601.
TEST(FirmwareVersion, FlagsFollowTheVersion) {
    struct Case {
        bool gang;
        std::uint16_t version;
        std::vector<bool> below;
    };
    for (const Case& c : {Case{false, 0x0501, {false, false, true, true, true, true}},
                          Case{false, 0x048F, {true, true, true, true, true, true}},
                          Case{false, 0x0490, {false, true, true, true, true, true}},
                          Case{false, 0x0614, {false, false, false, false, false, false}},
                          Case{false, 0x0613, {false, false, false, false, false, true}},
                          Case{true, 0x0118, {true, true, true, true}},
                          Case{true, 0x0119, {false, true, true, true}},
                          Case{true, 0x0560, {false, false, false, true}},
                          Case{true, 0x0601, {false, false, false, false}}}) {
        LinkBench bench;
        bench.singlePort(c.gang ? testing::gangScenario(c.version)
                                : testing::singleScenario(0xAB, c.version));
        ASSERT_TRUE(bench.openRemembered());
        const ProgrammerSession& s = bench.session;
        if (c.gang) {
            ASSERT_TRUE(bench.session.readGangFirmwareVersion());
            EXPECT_EQ((std::vector<bool>{s.gangFwBelow0119(), s.gangFwBelow0145(),
                                         s.gangFwBelow0560(), s.fwBelow0601()}),
                      c.below)
                << std::hex << c.version;
            continue;
        }
        ASSERT_TRUE(bench.session.readFirmwareVersion());
        EXPECT_EQ(s.firmwareVersion(), c.version);
        EXPECT_EQ((std::vector<bool>{s.fwBelow0490(), s.fwBelow0501(), s.fwBelow0505(),
                                     s.fwBelow0524(), s.fwBelow0601(), s.fwBelow0614()}),
                  c.below)
            << std::hex << c.version;
        EXPECT_EQ(s.lastCommand(), 0xC1);
    }
}

TEST(FirmwareVersionCheck, LoadsTheCarriedFirmwareOnlyWhenTheVersionDiffers) {
    for (const std::uint16_t version : {0x0619, 0x0600, 0x0620}) {
        LinkBench bench;
        bench.writeFirmwareFiles();
        auto& device = bench.singlePort(testing::singleScenario(0xB1, version));
        readyForLoad(bench, 0xB1);
        const bool differs = version != 0x0619;
        EXPECT_EQ(bench.session.checkFirmwareVersion(), differs ? Check::Reloaded : Check::Current);
        EXPECT_EQ(device.programmer()->firmwareLoads(), differs ? 1 : 0);
        EXPECT_EQ(device.programmer()->firmwareVersion(), 0x0619);
        EXPECT_TRUE(bench.op.boxes().empty());
    }
}

TEST(FirmwareVersionCheck, GangProgrammerOlderThan0119IsNeverUpdated) {
    for (const auto& [version, updates] : std::vector<std::pair<std::uint16_t, bool>>{
             {0x0100, false}, {0x0500, true}, {0x0619, false}}) {
        LinkBench bench;
        bench.writeFirmwareFiles();
        auto& device = bench.singlePort(testing::gangScenario(version));
        ASSERT_TRUE(bench.openRemembered());
        EXPECT_EQ(bench.session.checkGangFirmwareVersion(),
                  updates ? Check::Reloaded : Check::Current)
            << std::hex << version;
        EXPECT_EQ(device.gangProgrammer()->firmwareLoads(), updates ? 1 : 0);
    }
    LinkBench bench;  // no files
    bench.singlePort(testing::gangScenario(0x0500));
    ASSERT_TRUE(bench.openRemembered());
    EXPECT_EQ(bench.session.checkGangFirmwareVersion(), Check::Failed);
    EXPECT_EQ(bench.op.boxes().back(), "FAIL: Update Gang Programmer error !");
}

// The forced load itself is the variant table's (forced rows); the operator's reload adds its
// PASS and clears the flag whether the search took the part or refused it.
TEST(FirmwareReload, SaysSoAndClearsTheFlagEitherWay) {
    for (const std::uint32_t part : {2u, 200u}) {
        LinkBench bench;
        bench.writeFirmwareFiles();
        auto& device = bench.singlePort(testing::singleScenario(0xA5));
        bench.selectPart(part);
        EXPECT_EQ(bench.session.reloadFirmware(), part == 2);
        EXPECT_FALSE(bench.job.forceFirmwareUpdate);
        EXPECT_EQ(device.programmer()->firmwareLoads(), part == 2 ? 1 : 0);
        EXPECT_EQ(bench.op.boxes(),
                  Boxes{part == 2 ? "PASS: Programmer's firmware is successfully updated !"
                                  : "FAIL: This programmer cannot support ICP device !"});
    }
}

}  // namespace
}  // namespace tarnel

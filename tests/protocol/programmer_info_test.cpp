// Programmer Information: the reply formats of each firmware version, the text, the CONFIG
// view and the gang programmer's way to socket #1's unit.

#include <gtest/gtest.h>

#include "operations/programmer_info.h"
#include "support/link_bench.h"

namespace tarnel {
namespace {

using testing::LinkBench;

sim::StoredSetup storedSetup() {
    sim::StoredSetup setup;
    setup.present = true;
    setup.partIndex = 200;
    setup.partNumber = "QK200";
    setup.flags = 0x8F;  // ICP; APROM, DataFlash, LDROM and CONFIG
    setup.configBytes = {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F};
    setup.aprom = {{}, 0x000FFF, 0x0012ABCD, 0, 0, "app.hex"};
    setup.dataFlash = {{}, 0x01FFFF, 0x0000BEEF, 0, 0, "data.bin"};
    setup.ldrom = {{}, 0x07FF, 0x00C0DE, 0, 0, "boot.bin"};
    setup.usageLeft = 5;
    setup.serial = sim::SerialSettings{0x01F000,
                                       {0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12},
                                       {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
    return setup;
}

sim::LoopbackDevice& singleWith(LinkBench& bench, const sim::StoredSetup& setup,
                                std::uint16_t version = 0x0619) {
    auto& device = bench.singlePort(testing::singleScenario(0xAD, version));
    device.programmer()->withState([&](sim::ProgrammerState& state) { state.setup = setup; });
    return device;
}

const std::string kApromSection =
    "*** Downloaded code file for APROM\n\n       File Name:\tapp.hex\n\n       Code "
    "Size:\t4096 Bytes (EndAddr= 0x0FFF)\n\n       Checksum:\t0xABCD\n\n";
const std::string kDataFlashHead =
    "*** Downloaded data file for DataFlash\n\n       File Name:\tdata.bin\n\n";

TEST(ProgrammerInformation, TextOfTheCurrentReplyAndTheStoredConfigOrItsAbsence) {
    LinkBench bench;
    singleWith(bench, storedSetup());
    bench.selectPart(100);
    ReadBackState readBack;
    ASSERT_TRUE(programmerInformation(bench.session, readBack));
    const std::string text =
        "<<<  Programmer Type:  ICP Programmer (for Vexa)  >>>\n\n*** Part No.:  QK200\n\n" +
        kApromSection + kDataFlashHead +
        "       Data Size:\t131072 Bytes (EndAddr= 0x1FFFF)\n\n       Checksum:\t0xBEEF\n\n"
        "*** Downloaded code file for LDROM\n\n       File Name:\tboot.bin\n\n       Code "
        "Size:\t2048 Bytes (EndAddr= 0x07FF)\n\n       Checksum:\t0xC0DE\n\n"
        "*** Limited usage times\n\n       Available times:\t5\n\n"
        "*** Serial Number Programming\n\n       Address:\t0x01F000\n\n       "
        "Increment:\t00000000,00000001\n\n       S/N:\t\t00001234,56789012";
    EXPECT_EQ(bench.op.boxes(), std::vector<std::string>{"Programmer Information: " + text});
    ASSERT_EQ(bench.op.configViews().size(), 1u);
    EXPECT_EQ(bench.op.configViews()[0].layout, ConfigLayout::Kite);
    EXPECT_EQ(bench.op.configViews()[0].partIndex, 200u);
    EXPECT_EQ(bench.op.configViews()[0].bytes, storedSetup().configBytes);
    EXPECT_EQ(readBack.chipConfigPartIndex, 200u);
    EXPECT_FALSE(bench.session.identifyOnly());

    // Stored without CONFIG: a second box says so, and there is no CONFIG view.
    LinkBench noConfig;
    sim::StoredSetup setup = storedSetup();
    setup.flags = 0x88;
    singleWith(noConfig, setup);
    noConfig.selectPart(100);
    EXPECT_TRUE(programmerInformation(noConfig.session, readBack));
    ASSERT_EQ(noConfig.op.boxes().size(), 2u);
    EXPECT_EQ(noConfig.op.boxes()[1],
              "CONFIG Setting: CONFIGs won't be programmed and will become default value !");
    EXPECT_TRUE(noConfig.op.configViews().empty());
}

struct FormatCase {
    std::uint16_t version;
    std::size_t replyBytes;  // after the acknowledge and the status byte
    bool usage, serial, partNumber;
};

TEST(ProgrammerInformation, ReplyFormatFollowsTheFirmwareVersion) {
    const std::vector<FormatCase> cases = {
        {0x0619, 256, true, true, true},    {0x0613, 236, true, false, true},
        {0x0600, 235, true, false, true},   {0x0523, 233, false, false, true},
        {0x0504, 217, false, false, false}, {0x0500, 216, false, false, false},
        {0x0480, 211, false, false, false},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.version);
        LinkBench bench;
        sim::StoredSetup setup = storedSetup();
        setup.partNumber = "QK203";  // names another row than the reported index
        auto& device = singleWith(bench, setup, c.version);
        bench.selectPart(100);
        ReadBackState readBack;
        ASSERT_TRUE(programmerInformation(bench.session, readBack));
        // Identify, the version query, the acknowledge and the status came first.
        EXPECT_EQ(device.line().deviceWrites().size() - 6, c.replyBytes);
        ASSERT_FALSE(bench.op.boxes().empty());
        const std::string text = bench.op.boxes()[0];
        EXPECT_EQ(text.find("Limited usage") != std::string::npos, c.usage);
        EXPECT_EQ(text.find("Serial Number") != std::string::npos, c.serial);
        const std::uint32_t shown = c.partNumber ? 203 : 200;
        EXPECT_NE(text.find(shown == 203 ? "Part No.:  QK203" : "Part No.:  QK200"),
                  std::string::npos);
        ASSERT_EQ(bench.op.configViews().size(), 1u);
        EXPECT_EQ(bench.op.configViews()[0].partIndex, shown);
        if (c.version < 0x0490) {
            EXPECT_EQ(text,
                      "Programmer Information: <<<  Programmer Type:  ICP Programmer  "
                      ">>>\n\n*** Part No.:  QK200\n\n" +
                          kApromSection + kDataFlashHead +
                          "       Data Size:\t65536 Bytes (EndAddr= 0xFFFF)\n\n       "
                          "Checksum:\t0xBEEF");
            EXPECT_EQ(bench.op.configViews()[0].layout, ConfigLayout::BitTable);
        }
    }
}

struct GangCase {
    std::uint16_t gangVersion;
    bool stored;
    std::optional<sim::Fault> fault;
    std::string firstBox;
};

TEST(ProgrammerInformation, GangProgrammerReachesSocketOneFirst) {
    const std::string gangText =
        "Programmer Information: <<<  Programmer Type:  ICP Gang "
        "Programmer (for Vexa)  >>>";
    // The gang programmer's answers: identify, version (3), 0xAF, stored byte, sync byte.
    const std::vector<GangCase> cases = {
        {0x0619, true, std::nullopt, gangText},
        {0x0118, false, std::nullopt, gangText},  // older firmware sends no stored byte
        {0x0619, false, std::nullopt, "WARNING: Gang Programmer has not been downloaded yet !"},
        {0x0619, true, sim::Fault{sim::Fault::Kind::WrongByte, 7, 1, 0x02, 0},
         "FAIL: Sync #1 error !"},
    };
    for (const GangCase& c : cases) {
        SCOPED_TRACE(c.firstBox + " " + std::to_string(c.gangVersion));
        LinkBench bench;
        sim::Scenario scenario = testing::gangScenario(c.gangVersion);
        if (c.fault)
            scenario.faults = {*c.fault};
        auto& device = bench.singlePort(scenario);
        sim::StoredSetup setup = storedSetup();
        setup.gangVerifyOnly = true;
        device.gangProgrammer()->unit(1).withState(
            [&](sim::ProgrammerState& state) { state.setup = setup; });
        device.gangProgrammer()->withGangState(
            [&](sim::GangState& gang) { gang.stored = c.stored; });
        bench.selectPart(200, true);
        ReadBackState readBack;

        programmerInformation(bench.session, readBack);
        ASSERT_FALSE(bench.op.boxes().empty());
        const std::string first = bench.op.boxes()[0];
        EXPECT_EQ(first.substr(0, c.firstBox.size()), c.firstBox);
        if (first.starts_with("Programmer Information")) {
            EXPECT_NE(first.find("*** Gang Mode Setting\n\n       Verify Mode (do Verify "
                                 "only)\n\n*** Serial Number Programming"),
                      std::string::npos);
        }
    }
}

}  // namespace
}  // namespace tarnel

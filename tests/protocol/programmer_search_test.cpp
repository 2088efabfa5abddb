// Finding and identifying the programmer, and fitting its firmware variant to the part.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "link/port_table.h"
#include "support/link_bench.h"

namespace tarnel {
namespace {

using Boxes = std::vector<std::string>;

using testing::LinkBench;

const std::string kCom1 = slotName(1);
const std::string kCom2 = slotName(2);

// One part of each class, as the catalogue flags them.
enum PartClass { IspPart, Plain, QB7710, QC7712, TQ17A, Bit32 };
const std::map<PartClass, std::uint32_t> kPartOfClass = {{IspPart, 2},  {Plain, 100}, {QB7710, 136},
                                                         {QC7712, 132}, {TQ17A, 131}, {Bit32, 200}};

constexpr std::string_view kRefuseIsp = "This programmer cannot support ISP device !";
constexpr std::string_view kRefuseIcp = "This programmer cannot support ICP device !";
constexpr std::string_view kRefuseTQ = "This programmer cannot support TQ17A !";
constexpr std::string_view kRefuseVexa = "This programmer cannot support Vexa device !";

// The variant check as a table of outcomes: the identity byte the programmer has after the
// search, or the refusal. Rows are the programmer lines, columns the part classes.
struct Outcome {
    std::uint8_t kind = 0;  // 0 with a refusal
    std::string_view refusal;
};
Outcome to(std::uint8_t kind) {
    return {kind, {}};
}
Outcome refuse(std::string_view text) {
    return {0, text};
}
const Outcome kKeep{};  // stays as it is

struct LineRow {
    std::vector<std::uint8_t> kinds;
    std::array<Outcome, 6> outcome;  // IspPart, Plain, QB7710, QC7712, TQ17A, Bit32
};
const std::vector<LineRow> kVariantCheck = {
    {{0xA5},
     {kKeep, refuse(kRefuseIcp), refuse(kRefuseIcp), refuse(kRefuseIcp), refuse(kRefuseIcp),
      refuse(kRefuseIcp)}},
    {{0xAA, 0xAB, 0xA4, 0xB2, 0xAD},
     {to(0xAA), to(0xAB), to(0xA4), to(0xB2), refuse(kRefuseTQ), to(0xAD)}},
    {{0xA6, 0xA3, 0xB0},
     {refuse(kRefuseIsp), to(0xA6), to(0xA3), to(0xB0), refuse(kRefuseTQ), refuse(kRefuseVexa)}},
    {{0xAE, 0xA2, 0xB1},
     {refuse(kRefuseIsp), to(0xAE), to(0xA2), to(0xB1), to(0xAE), refuse(kRefuseVexa)}},
    {{0xB3, 0xB4, 0xB5},
     {refuse(kRefuseIsp), to(0xB3), to(0xB4), to(0xB5), to(0xB3), refuse(kRefuseVexa)}},
};

// The table below takes one part of each class; these are the last ISP row and a row of the
// last family.
TEST(VariantCheck, RowEndsFallIntoTheirClasses) {
    const ChipCatalogue catalogue;
    EXPECT_EQ(categoryOfPart(99, catalogue.partAt(99)), PartCategory::Isp);
    EXPECT_EQ(categoryOfPart(1103, catalogue.partAt(1103)), PartCategory::Vexa);
}

TEST(VariantCheck, EveryLineAgainstEveryPartClass) {
    for (const LineRow& row : kVariantCheck) {
        for (const std::uint8_t kind : row.kinds) {
            for (const auto& [partClass, partIndex] : kPartOfClass) {
                for (const bool force : {false, true}) {
                    SCOPED_TRACE("kind " + std::to_string(kind) + ", part " +
                                 std::to_string(partIndex) + (force ? ", forced" : ""));
                    LinkBench bench;
                    bench.writeFirmwareFiles();
                    auto& device = bench.singlePort(testing::singleScenario(kind, 0x0619));
                    bench.selectPart(partIndex);
                    bench.job.forceFirmwareUpdate = force;
                    const Outcome expected = row.outcome[partClass];
                    const bool found = bench.session.searchProgrammer();

                    if (!expected.refusal.empty()) {
                        EXPECT_FALSE(found);
                        EXPECT_EQ(bench.op.boxes(),
                                  Boxes{"FAIL: " + std::string(expected.refusal)});
                        EXPECT_EQ(device.programmer()->firmwareLoads(), 0);
                        continue;
                    }
                    EXPECT_TRUE(found);
                    EXPECT_TRUE(bench.op.boxes().empty());
                    const std::uint8_t after = expected.kind == 0 ? kind : expected.kind;
                    const bool loads = force || after != kind;
                    EXPECT_EQ(device.programmer()->firmwareLoads(), loads ? 1 : 0);
                    EXPECT_EQ(device.programmer()->kind(), after) << "the device runs the target";
                    EXPECT_EQ(bench.session.firmwareVariant(), rowOfKind(after)->variant);
                    EXPECT_EQ(bench.op.programmerTypeLabel(), rowOfKind(after)->label);
                    EXPECT_TRUE(device.errors().empty());
                }
            }
        }
    }
}

TEST(VariantCheck, FailedLoadIsReportedAfterTheLoadsOwnMessage) {
    LinkBench bench;  // no firmware files written
    bench.singlePort(testing::singleScenario(0xAE));
    bench.selectPart(136);
    EXPECT_FALSE(bench.session.searchProgrammer());
    const std::string path = bench.session.firmwarePath("v0619_MainMCU_ICP_Halvorn_QB7710.DAT");
    EXPECT_EQ(bench.op.boxes(), (Boxes{"FAIL: " + path + " cannot be opened !",
                                       "FAIL: Configure programmer error !"}));
}

TEST(ProgrammerSearch, IdentifyOnlyStopsBeforeTheVariantCheck) {
    LinkBench bench;
    bench.singlePort(testing::singleScenario(0xA6));
    bench.selectPart(2);
    bench.session.setIdentifyOnly(true);
    EXPECT_TRUE(bench.session.searchProgrammer());
    EXPECT_TRUE(bench.op.boxes().empty());
    EXPECT_EQ(bench.session.firmwareVariant(), FirmwareVariant::ICP_only);
    EXPECT_EQ(bench.op.programmerTypeLabel(), "ICP_only");
}

// Each search takes only its own kind of programmer, at the first answer: no retry, no scan.
TEST(ProgrammerSearch, EachSearchRefusesTheOtherKinds) {
    struct Case {
        sim::Scenario scenario;
        bool gangSearch;
        std::string box;
    };
    for (const Case& c :
         {Case{testing::gangScenario(), false,
               "FAIL: Please select 'Gang' mode for Programmer Type !"},
          Case{testing::singleScenario(0xA7), false, "FAIL: Programmer is not found !"},
          Case{testing::singleScenario(0xAB), true, "FAIL: Gang Programmer is not found !"}}) {
        SCOPED_TRACE(c.box);
        LinkBench bench;
        bench.singlePort(c.scenario);
        EXPECT_FALSE(c.gangSearch ? bench.session.searchGangProgrammer()
                                  : bench.session.searchProgrammer());
        EXPECT_EQ(bench.op.boxes(), Boxes{c.box});
        EXPECT_EQ(bench.ports.openAttempts().size(), 1u);
        EXPECT_EQ(bench.session.firmwareVariant(), FirmwareVariant::None);
        EXPECT_EQ(bench.op.programmerTypeLabel(), "") << "label unchanged";
    }
    LinkBench bench;
    bench.singlePort(testing::gangScenario());
    EXPECT_TRUE(bench.session.searchGangProgrammer());
    EXPECT_EQ(bench.op.lastStatus(), "Search Gang Programmer...");
    EXPECT_EQ(bench.session.programmerKind(), kGangProgrammerKind);
}

TEST(ProgrammerSearch, MissingRememberedPortLeadsToTheScan) {
    LinkBench bench;
    bench.addSilentPort(kCom1);
    bench.addProgrammer(kCom2, 0xAB);
    bench.setTable({kCom1, kCom2});
    bench.job.setComPortName("/dev/gone");
    bench.selectPart(100);
    ASSERT_TRUE(bench.session.searchProgrammer());
    EXPECT_EQ(bench.job.comPortText(), kCom2);
    EXPECT_TRUE(bench.op.boxes().empty()) << "a port that does not open is not reported";
    const auto events = bench.op.events();
    const auto unknown = std::find(events.begin(), events.end(), "port: COM???");
    ASSERT_NE(unknown, events.end());
    EXPECT_NE(std::find(unknown, events.end(), "port: COM2"), events.end());
    EXPECT_EQ(bench.op.portText(), "COM2");
    // 500 ms after the failed connect, a silent probe of COM1 (two 11 ms reads), the drain
    // of COM2 (11 ms, its answer comes at once), 100 ms before the second connect.
    EXPECT_EQ(bench.clock.nowMs(), 500u + 22u + 11u + 100u);
}

// The tail of a reply still arriving after the remembered port is reopened is let pass
// before the identify command, so it is not taken for the programmer's identity.
TEST(ProgrammerSearch, ConnectWaitsForTheLineToFallQuiet) {
    LinkBench bench;
    auto& device = bench.addProgrammer(kCom1, 0xAB);
    bench.setTable({kCom1});
    bench.selectPart(100);
    device.line().arriveAfterOpen(std::vector<std::uint8_t>(229, 0xFF));
    bench.session.replyCutShort();  // as the update does when it stops a report early
    ASSERT_TRUE(bench.session.searchProgrammer());
    EXPECT_TRUE(bench.op.boxes().empty());
    EXPECT_EQ(bench.ports.openAttempts().size(), 1u) << "no scan";
    EXPECT_EQ(device.line().hostWrites(), std::vector<std::uint8_t>{0xC0});
}

TEST(ProgrammerSearch, NothingFoundAfterTwoScans) {
    for (const bool gang : {false, true}) {
        LinkBench bench;
        bench.addSilentPort(kCom1);
        bench.setTable({kCom1});
        bench.selectPart(100, gang);
        EXPECT_FALSE(bench.session.searchProgrammer());
        const std::string notFound =
            gang ? "FAIL: Gang Programmer is not found !" : "FAIL: Programmer is not found !";
        EXPECT_EQ(bench.op.boxes(), (Boxes{"FAIL: Receive data error !", notFound}));
        // Connect, then two scans of the one port.
        EXPECT_EQ(bench.ports.openAttempts().size(), 3u);
        EXPECT_EQ(bench.clock.nowMs(), 1001u + 500u + 22u + 100u + 22u);
    }
}

// Opens a port the given number of times, then refuses it (a cable pulled after the scan).
class VanishingPorts : public PortFactory {
  public:
    VanishingPorts(PortFactory& inner, int opensAllowed) : inner_(inner), left_(opensAllowed) {}
    Boxes portTable() override { return inner_.portTable(); }
    std::unique_ptr<SerialPort> open(const std::string& device) override {
        if (left_-- <= 0)
            return nullptr;
        return inner_.open(device);
    }

  private:
    PortFactory& inner_;
    int left_;
};

TEST(ProgrammerSearch, PortThatVanishesAfterTheScanIsReported) {
    LinkBench bench;
    bench.addProgrammer(kCom2, 0xAB);
    bench.setTable({kCom1, kCom2});
    // Opens: connect (COM1 is absent, but the attempt counts), scan COM1, scan COM2; then none.
    VanishingPorts ports(bench.ports, 3);
    ProgrammerLink link(ports, bench.clock);
    ProgrammerSession session(bench.job, link, bench.op, bench.clock);
    bench.selectPart(100);
    EXPECT_FALSE(session.searchProgrammer());
    EXPECT_EQ(bench.op.boxes(), Boxes{"FAIL: Programmer is not found !"});
}

// Socket -1 is a single programmer's search; a gang socket outside 1..4 shows no status.
TEST(ProgrammerSearch, StatusLineNamesTheGangSocket) {
    for (int socket = -1; socket <= 5; ++socket) {
        SCOPED_TRACE(socket);
        LinkBench bench;
        bench.singlePort(testing::singleScenario(0xAB));
        bench.selectPart(100, socket >= 0);
        bench.session.setSocketNumber(static_cast<std::uint8_t>(std::max(socket, 0)));
        EXPECT_TRUE(bench.session.searchProgrammer());
        Boxes statuses;
        for (const auto& event : bench.op.events()) {
            if (event.rfind("status: ", 0) == 0)
                statuses.push_back(event);
        }
        Boxes expected;
        if (socket < 0)
            expected = {"status: Search Programmer..."};
        else if (socket >= 1 && socket <= 4)
            expected = {"status: Search Programmer <" + std::to_string(socket) + " of 4>..."};
        EXPECT_EQ(statuses, expected);
    }
}

}  // namespace
}  // namespace tarnel

// The transport: the five time-out values, the port scan, the port list, and the line
// settings each open leaves behind. All on virtual time.

#include <gtest/gtest.h>

#include "link/port_table.h"
#include "support/link_bench.h"

namespace tarnel {
namespace {

using testing::LinkBench;

const std::string kCom1 = slotName(1);
const std::string kCom2 = slotName(2);
const std::string kCom3 = slotName(3);
const std::string kCom4 = slotName(4);

TEST(ReadTimeouts, TotalAndIntervalLimitsEndReadsWithWhatArrived) {
    VirtualClock clock;
    VirtualClock::Participant host(clock);
    LoopbackLine line(clock);
    auto port = line.openHostEnd();
    auto device = line.openDeviceEnd();

    // Four bytes asked, three arrive: under the standard profile the 1000 ms interval after
    // the third byte ends the read; with no interval limit, the total (4 + 1000 ms) does. (A
    // silent read's 1 * 1 + 1000 ms is pinned by the programmer search's timings.)
    ASSERT_TRUE(port->setTimeouts(kStandardTimeouts));
    std::uint8_t buffer[4] = {};
    const std::uint8_t three[3] = {1, 2, 3};
    device->write(three, 3);
    std::uint64_t start = clock.nowMs();
    Transfer t = port->read(buffer, 4);
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.count, 3u);
    EXPECT_EQ(clock.nowMs() - start, 1001u);
    EXPECT_EQ(buffer[2], 3);
    ASSERT_TRUE(port->setTimeouts(Timeouts{0, 1, 1000, 1, 1000}));
    device->write(three, 3);
    start = clock.nowMs();
    EXPECT_EQ(port->read(buffer, 4).count, 3u);
    EXPECT_EQ(clock.nowMs() - start, 1004u);

    // An interval of 5 ms ends the read 6 ms after the last byte, long before the total.
    ASSERT_TRUE(port->setTimeouts(Timeouts{5, 1, 1000, 1, 1000}));
    device->write(three, 2);
    start = clock.nowMs();
    EXPECT_EQ(port->read(buffer, 4).count, 2u);
    EXPECT_EQ(clock.nowMs() - start, 6u);

    // Interval "at once" with no total returns immediately with what is there.
    ASSERT_TRUE(port->setTimeouts(Timeouts{kReadReturnAtOnce, 0, 0, 1, 1000}));
    device->write(three, 1);
    start = clock.nowMs();
    EXPECT_EQ(port->read(buffer, 4).count, 1u);
    EXPECT_EQ(clock.nowMs(), start);

    // A cut line fails the transfer instead of timing out.
    line.cut();
    EXPECT_FALSE(port->read(buffer, 1).ok);
    EXPECT_FALSE(port->write(three, 1).ok);
}

TEST(ProgrammerLinkTransfers, ShortReadIsAFailureAndClosedLinkRefusesEverything) {
    LinkBench bench;
    auto& line = bench.addSilentPort(kCom1);
    bench.setTable({kCom1});
    std::uint8_t byte = 0;
    std::uint8_t buffer[4] = {};
    EXPECT_FALSE(bench.link.readByte(byte));
    EXPECT_FALSE(bench.link.writeByte(0xC0));
    EXPECT_FALSE(bench.link.setTimeouts(kStandardTimeouts));
    EXPECT_FALSE(bench.link.setDtr());

    ASSERT_TRUE(bench.openRemembered());
    EXPECT_EQ(line.hostSettings(), (LineSettings{115200, 8, false, Parity::None, StopBits::One}));
    EXPECT_EQ(line.hostTimeouts(), kStandardTimeouts);
    EXPECT_FALSE(line.hostDtr());
    EXPECT_TRUE(bench.link.setDtr());
    EXPECT_TRUE(line.hostDtr());
    EXPECT_TRUE(bench.link.clearDtr());
    EXPECT_FALSE(line.hostDtr());

    // Three bytes arrive where four are asked for: a failure, whatever came.
    auto device = line.openDeviceEnd();
    const std::uint8_t three[3] = {1, 2, 3};
    device->write(three, 3);
    EXPECT_FALSE(bench.link.readBytes(buffer, 4));
    device->write(three, 1);
    EXPECT_TRUE(bench.link.readByte(byte));
    EXPECT_EQ(byte, 1);

    ASSERT_TRUE(bench.link.openWithTimeout(kCom1, 9600, 2));
    EXPECT_EQ(line.hostTimeouts(), kChipDetectTimeouts);
    EXPECT_EQ(line.hostSettings().baudRate, 9600u);
    EXPECT_EQ(line.hostOpenCount(), 2);
    EXPECT_FALSE(bench.link.open(kCom2, 115200)) << "no such port";
    EXPECT_FALSE(bench.link.isOpen());
}

TEST(ProgrammerLinkTransfers, TickRunTakesItsOwnAnswersInOrderAndNoMore) {
    LinkBench bench;
    auto device = bench.addSilentPort(kCom1).openDeviceEnd();
    bench.setTable({kCom1});
    ASSERT_TRUE(bench.openRemembered());

    // Ten answers (one of them a failure) and two bytes of what follows, all arrived at once:
    // the run hands on its ten in order and leaves the rest on the line.
    const std::uint8_t bytes[12] = {0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0xA5, 0x5A};
    device->write(bytes, sizeof bytes);
    TickRun run(10);
    std::vector<std::uint8_t> got;
    std::uint8_t value = 0;
    while (got.size() < 10 && run.next(bench.link, bench.clock, value))
        got.push_back(value);
    EXPECT_EQ(got, std::vector<std::uint8_t>(bytes, bytes + 10));
    EXPECT_FALSE(run.next(bench.link, bench.clock, value)) << "past the run's end";
    ASSERT_TRUE(bench.link.readByte(value));
    EXPECT_EQ(value, 0xA5);
}

// Before the gang programmer: a silent port, an absent one, a device that answers with no
// identity byte, and programmers whose ports refuse their line settings or their time-outs.
TEST(PortScan, StopsAtTheFirstPortThatAnswersAndRemembersIt) {
    LinkBench bench;
    const std::string com6 = slotName(6);
    auto& silent = bench.addSilentPort(kCom1);
    bench.addProgrammer(kCom3, 0xA7);
    auto& noConfig = bench.addProgrammer(kCom4, 0xAB);
    auto& noTimeouts = bench.addProgrammer(slotName(5), 0xAB);
    noConfig.line().refuseConfigure(true);
    noTimeouts.line().refuseTimeouts(true);
    auto& gang = bench.addDevice(com6, testing::gangScenario());
    bench.addProgrammer(slotName(7), 0xAB);
    bench.setTable({kCom1, kCom2, kCom3, kCom4, slotName(5), com6, slotName(7)});
    EXPECT_EQ(bench.link.findProgrammerPort(), com6);
    EXPECT_TRUE(bench.link.isOpen());
    EXPECT_TRUE(gang.line().hostEndOpen());
    // Found with the probe's two stop bits; the standard profile is back.
    EXPECT_EQ(gang.line().hostSettings().stopBits, StopBits::Two);
    EXPECT_EQ(gang.line().hostTimeouts(), kStandardTimeouts);
    EXPECT_EQ(bench.ports.openAttempts(),
              (std::vector<std::string>{kCom1, kCom2, kCom3, kCom4, slotName(5), com6}));
    EXPECT_EQ(silent.hostWrites(), std::vector<std::uint8_t>{0xC0});
    for (auto* skipped : {&silent, &noConfig.line(), &noTimeouts.line()})
        EXPECT_FALSE(skipped->hostEndOpen());

    // The callers reopen by name next: that puts the line back to one stop bit.
    ASSERT_TRUE(bench.link.open(com6, kProgrammerBaudRate));
    EXPECT_EQ(gang.line().hostSettings().stopBits, StopBits::One);
}

TEST(PortScan, OnlyTheSixteenIdentityBytesCount) {
    for (int byte = 0; byte < 256; ++byte) {
        const bool identity = (byte >= 0xA2 && byte <= 0xA6) || byte == 0xAA || byte == 0xAB ||
                              (byte >= 0xAD && byte <= 0xB5);
        EXPECT_EQ(isProgrammerIdentity(static_cast<std::uint8_t>(byte)), identity) << byte;
    }
}

// Ports that do not exist cost no time; all 256 slots are tried and the port is left closed.
// (What a silent port costs is pinned by the programmer search's timings.)
TEST(PortScan, NothingThereMeans256SlotsTriedAndThePortClosed) {
    LinkBench bench;
    std::vector<std::string> table;
    for (int slot = 1; slot <= 256; ++slot)
        table.push_back(slotName(slot));
    bench.setTable(table);
    EXPECT_FALSE(bench.link.findProgrammerPort());
    EXPECT_EQ(bench.ports.openAttempts().size(), 256u);
    EXPECT_FALSE(bench.link.isOpen());
    EXPECT_EQ(bench.clock.nowMs(), 0u);
}

TEST(PortScan, DrainIsBoundedForAPortThatNeverFallsSilent) {
    LinkBench bench;
    auto& chatter = bench.addSilentPort(kCom1);
    auto& stale = bench.addSilentPort(kCom2);
    auto staleDevice = stale.openDeviceEnd();
    const std::vector<std::uint8_t> flood(kDrainLimit + 10, 0xAB);
    chatter.arriveAfterOpen(flood);
    staleDevice->write(flood.data(), 100);  // before the open: discarded by it
    stale.arriveAfterOpen({0xAB, 0xAB});
    bench.setTable({kCom1, kCom2});

    EXPECT_FALSE(bench.link.findProgrammerPort());
    // The flooded port is given up before the identify command; the one with a little
    // stale input is drained and then asked.
    EXPECT_TRUE(chatter.hostWrites().empty());
    EXPECT_EQ(stale.hostWrites(), std::vector<std::uint8_t>{0xC0});
    EXPECT_EQ(stale.pendingToHost(), 0u);
}

TEST(PortList, ListsThePortsThatOpenInSlotOrder) {
    LinkBench bench;
    bench.addSilentPort(kCom1);
    bench.addSilentPort(kCom3);
    auto& busy = bench.addSilentPort(kCom4);
    auto heldElsewhere = busy.openHostEnd();
    bench.setTable({kCom1, kCom2, kCom3, kCom4});
    ASSERT_TRUE(bench.openRemembered());

    EXPECT_TRUE(bench.link.listAvailablePorts());
    EXPECT_EQ(bench.link.availablePorts(), (std::vector<std::string>{kCom1, kCom3}));
    EXPECT_FALSE(bench.link.isOpen()) << "listing closes the port";
    EXPECT_EQ(bench.link.portText(kCom3), "COM3");
}

}  // namespace
}  // namespace tarnel

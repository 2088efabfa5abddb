// The Win32 port on a real line: two COM ports joined back to back (under Wine, two
// pseudo-terminals bridged on the host), named by TARNEL_TEST_COM_A and TARNEL_TEST_COM_B.
// Each transfer is one driver call under the time-outs the driver holds (pinned below), so
// the driver's timing of reads is not measured again; a write nobody takes is held to
// generous bounds that tell a time-out that works from one that is ignored or never ends.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/port_table.h"
#include "link/win32_serial_port.h"

namespace tarnel {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

class Win32Line : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* nameA = std::getenv("TARNEL_TEST_COM_A");
        const char* nameB = std::getenv("TARNEL_TEST_COM_B");
        ASSERT_TRUE(nameA && nameB)
            << "TARNEL_TEST_COM_A and TARNEL_TEST_COM_B must name two joined COM ports";
        a = Win32SerialPort::open(nameA);
        b = Win32SerialPort::open(nameB);
        ASSERT_TRUE(a && b) << "cannot open " << nameA << " and " << nameB;
        ASSERT_TRUE(a->configure(LineSettings{}));
        ASSERT_TRUE(b->configure(LineSettings{}));
        // The line outlives the ports: what an earlier test left in it must not reach this one.
        drain(*a);
        drain(*b);
    }

    static void drain(Win32SerialPort& port) {
        ASSERT_TRUE(port.setTimeouts(Timeouts{0, 0, 200, 0, 0}));
        std::vector<std::uint8_t> sink(1 << 16);
        while (port.read(sink.data(), sink.size()).count > 0) {
        }
    }

    void send(const Bytes& bytes) {
        ASSERT_TRUE(b->setTimeouts(Timeouts{0, 0, 0, 0, 2000}));
        const Transfer sent = b->write(bytes.data(), bytes.size());
        ASSERT_TRUE(sent.ok);
        ASSERT_EQ(sent.count, bytes.size());
    }

    std::unique_ptr<Win32SerialPort> a;
    std::unique_ptr<Win32SerialPort> b;
};

TEST_F(Win32Line, TheFiveTimeoutValuesReachTheDriverAsTheyAre) {
    const Timeouts values{kReadReturnAtOnce, 7, 1234, 9, 5678};
    ASSERT_TRUE(a->setTimeouts(values));
    COMMTIMEOUTS held{};
    ASSERT_TRUE(::GetCommTimeouts(a->handle(), &held));
    EXPECT_EQ(held.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(held.ReadTotalTimeoutMultiplier, 7u);
    EXPECT_EQ(held.ReadTotalTimeoutConstant, 1234u);
    EXPECT_EQ(held.WriteTotalTimeoutMultiplier, 9u);
    EXPECT_EQ(held.WriteTotalTimeoutConstant, 5678u);
}

TEST_F(Win32Line, WriteTotalTimeoutEndsAWriteNobodyTakes) {
    // Nobody reads b: once the line's buffers are full a write can only time out.
    ASSERT_TRUE(a->setTimeouts(Timeouts{0, 0, 0, 0, 500}));
    const Bytes big(1 << 20, 0x55);
    const auto start = Clock::now();
    const Transfer sent = a->write(big.data(), big.size());
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_TRUE(sent.ok);
    EXPECT_LT(sent.count, big.size());
    EXPECT_GE(ms.count(), 400);
    EXPECT_LT(ms.count(), 5000);
}

TEST_F(Win32Line, TwoStopBitsForTheScanProbe) {
    LineSettings probe;
    probe.stopBits = StopBits::Two;
    ASSERT_TRUE(a->configure(probe));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(::GetCommState(a->handle(), &dcb));
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
}

TEST_F(Win32Line, DtrOnALineWithoutItIsReportedAndTheLineStillWorks) {
    // A pseudo-terminal has no modem lines: the call reports the failure, the port goes on.
    EXPECT_FALSE(a->setDtr(true));
    EXPECT_FALSE(a->setDtr(false));
    send({0x42, 0x43});
    ASSERT_TRUE(a->setTimeouts(Timeouts{100, 0, 5000, 0, 0}));
    Bytes got(4, 0);
    const Transfer result = a->read(got.data(), got.size());
    EXPECT_TRUE(result.ok);
    ASSERT_EQ(result.count, 2u);
    EXPECT_EQ(got[1], 0x43);
}

TEST(Win32Ports, TheTableIsCom1ToCom256) {
    Win32PortFactory factory;
    const auto table = factory.portTable();
    ASSERT_EQ(table.size(), 256u);
    EXPECT_EQ(table.front(), "\\\\.\\COM1");
    EXPECT_EQ(table.back(), "\\\\.\\COM256");
    EXPECT_EQ(rememberedNameFor("COM7", table), "\\\\.\\COM7");
    EXPECT_EQ(factory.open("\\\\.\\COM250"), nullptr) << "a port that does not exist";
}

}  // namespace
}  // namespace tarnel

// The POSIX port on a real pseudo-terminal: exclusive open, time-outs in poll, a device that
// goes away, DTR where there is none.

#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "core/atomic_file.h"
#include "core/clock.h"
#include "link/posix_serial_port.h"
#include "link/serial_port.h"
#include "sim/pseudo_terminal.h"
#include "support/link_bench.h"

namespace tarnel {
namespace {

using Millis = std::chrono::milliseconds;

class PosixPort : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        auto opened = sim::openPseudoTerminal(error);
        ASSERT_TRUE(opened) << error;
        pty_ = std::move(*opened);
    }

    SystemClock clock_;
    sim::PseudoTerminal pty_;
};

TEST_F(PosixPort, OpensExclusivelyAndOnlyTerminals) {
    auto first = PosixSerialPort::open(pty_.slavePath, clock_);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PosixSerialPort::open(pty_.slavePath, clock_), nullptr) << "in use";
    first.reset();
    EXPECT_NE(PosixSerialPort::open(pty_.slavePath, clock_), nullptr) << "free again";

    test::ScratchDir dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("plain"), std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(PosixSerialPort::open(dir.file("plain"), clock_), nullptr);
    EXPECT_EQ(PosixSerialPort::open(dir.file("missing"), clock_), nullptr);
}

TEST_F(PosixPort, ShortReadsKeepWhatCameAndTheLineIsRaw) {
    auto port = PosixSerialPort::open(pty_.slavePath, clock_);
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->configure(LineSettings{115200, 8, false, Parity::None, StopBits::Two}));
    std::uint8_t buffer[4] = {};
    const std::uint8_t three[3] = {0xA5, 0x06, 0x19};
    ASSERT_EQ(::write(pty_.master.get(), three, 3), 3);
    ASSERT_TRUE(port->setTimeouts(Timeouts{0, 1, 100, 1, 100}));
    const Transfer t = port->read(buffer, 4);
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.count, 3u);
    EXPECT_EQ(buffer[2], 0x19);

    // Writes reach the other side unchanged: the line is raw.
    const std::uint8_t command[2] = {0xC0, 0x0A};
    EXPECT_EQ(port->write(command, 2).count, 2u);
    std::uint8_t received[2] = {};
    ASSERT_EQ(::read(pty_.master.get(), received, 2), 2);
    EXPECT_EQ(received[0], 0xC0);
    EXPECT_EQ(received[1], 0x0A);
}

TEST_F(PosixPort, DeviceThatGoesAwayFailsTheTransferAtOnce) {
    auto port = PosixSerialPort::open(pty_.slavePath, clock_);
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->configure(LineSettings{}));
    ASSERT_TRUE(port->setTimeouts(Timeouts{8000, 1, 8000, 1, 8000}));
    pty_.master.reset();  // the other end hangs up
    std::uint8_t byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port->read(&byte, 1).ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, Millis(1000)) << "no wait for the 8 s";
    EXPECT_FALSE(port->write(&byte, 1).ok);
}

TEST_F(PosixPort, DtrFailsOnAPseudoTerminalWithoutHarm) {
    auto port = PosixSerialPort::open(pty_.slavePath, clock_);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->configure(LineSettings{}));
    EXPECT_FALSE(port->setDtr(true));
    EXPECT_FALSE(port->setDtr(false));
    // The boot loaders' rates, 14400 included, and the other line settings are accepted.
    for (const std::uint32_t baud : {9600u, 14400u, 19200u, 38400u, 57600u, 115200u})
        EXPECT_TRUE(port->configure(LineSettings{baud, 8, false, Parity::None, StopBits::One}))
            << baud;
    EXPECT_TRUE(port->configure(LineSettings{9600, 7, true, Parity::Even, StopBits::Two}));
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(port->write(&byte, 1).count, 1u);
}

// The silent read waits its whole time-out, 32 * 1 + 50 ms, and never less (how late it may
// end is the port scan benchmark's to measure).
TEST_F(PosixPort, AFreshOpenHasNothingStaleToRead) {
    ASSERT_NE(PosixSerialPort::open(pty_.slavePath, clock_), nullptr);
    const char stale[] = "tail of a report\n";
    ASSERT_EQ(::write(pty_.master.get(), stale, sizeof stale - 1),
              static_cast<ssize_t>(sizeof stale - 1));
    auto port = PosixSerialPort::open(pty_.slavePath, clock_);
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->configure(LineSettings{}));
    ASSERT_TRUE(port->setTimeouts(Timeouts{0, 1, 50, 1, 1000}));
    std::uint8_t buffer[32] = {};
    const auto start = std::chrono::steady_clock::now();
    const Transfer t = port->read(buffer, sizeof buffer);
    EXPECT_GE(std::chrono::steady_clock::now() - start, Millis(82)) << "a time-out fired early";
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.count, 0u);
}

}  // namespace
}  // namespace tarnel

#endif  // _WIN32

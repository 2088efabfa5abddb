// The paced simulator line on virtual time: both directions take the character time of the
// settings the host configured, answers come in UART-sized bursts, and the device's own work
// is counted.

#include <gtest/gtest.h>

#include <vector>

#include "sim/sim_programmer.h"
#include "testkit/loopback_device.h"
#include "testkit/loopback_port.h"
#include "testkit/virtual_clock.h"

namespace tarnel {
namespace {

constexpr std::uint8_t kCommand = 0x10;
constexpr std::size_t kSent = 100;
constexpr std::size_t kAnswer = 200;
constexpr std::uint32_t kWorkMs = 5;

// Takes 100 bytes, works 5 ms, answers 200 bytes.
sim::LoopbackDevice::MakeDevice blockDevice() {
    return [](sim::DeviceLine& line) {
        auto device = std::make_unique<sim::SimDevice>(line);
        device->onCommand(kCommand, [&line] {
            std::vector<std::uint8_t> block(kSent);
            if (!line.readBlock(block.data(), block.size()))
                return;
            line.work(kWorkMs);
            const std::vector<std::uint8_t> answer(kAnswer, 0x5A);
            line.replyBlock(answer.data(), answer.size());
        });
        return device;
    };
}

TEST(PacedLine, BothDirectionsTakeTheirCharacterTimesAndAnswersComeInBursts) {
    struct Case {
        LineSettings settings;
        double characterMs;
    };
    for (const Case& c : {Case{{9600, 8, false, Parity::None, StopBits::One}, 10 / 9.6},
                          Case{{9600, 8, false, Parity::Even, StopBits::Two}, 12 / 9.6},
                          Case{{115200, 8, false, Parity::None, StopBits::One}, 10 / 115.2}}) {
        SCOPED_TRACE(c.settings.baudRate);
        VirtualClock clock;
        VirtualClock::Participant host(clock);
        sim::LoopbackDevice device(clock, {}, blockDevice());
        device.pace();
        auto port = device.line().openHostEnd();
        ASSERT_TRUE(port->configure(c.settings));

        std::vector<std::uint8_t> out(1 + kSent, 0x33);
        out[0] = kCommand;
        ASSERT_EQ(port->write(out.data(), out.size()).count, out.size());
        // Halfway through the answer only part of it has come, in whole bursts. Virtual time
        // counts whole milliseconds, so each side may be up to a millisecond early.
        const double answerStartMs = (1 + kSent) * c.characterMs + kWorkMs;
        clock.sleepMs(static_cast<std::uint32_t>(answerStartMs + kAnswer / 2 * c.characterMs));
        std::vector<std::uint8_t> in(kAnswer);
        ASSERT_TRUE(port->setTimeouts(Timeouts{kReadReturnAtOnce, 0, 0, 0, 0}));
        const std::size_t early = port->read(in.data(), in.size()).count;
        EXPECT_EQ(early % sim::DeviceLine::kPacedBurst, 0u);
        EXPECT_GE(early, kAnswer / 2 - 2 * sim::DeviceLine::kPacedBurst);
        EXPECT_LE(early, kAnswer / 2 + sim::DeviceLine::kPacedBurst);

        ASSERT_TRUE(port->setTimeouts(Timeouts{0, 0, 60000, 0, 0}));
        EXPECT_EQ(port->read(in.data() + early, kAnswer - early).count, kAnswer - early);
        const double expectedMs = answerStartMs + kAnswer * c.characterMs;
        EXPECT_NEAR(static_cast<double>(clock.nowMs()), expectedMs, 1.5);
        EXPECT_EQ(device.deviceLine().workUs(), kWorkMs * 1000u);
    }
}

}  // namespace
}  // namespace tarnel

// The link wrappers: each failure shows its own message once, and linkResult follows.

#include <gtest/gtest.h>

#include "support/link_bench.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Kind = sim::Fault::Kind;

sim::Fault fault(Kind kind, int step, std::uint32_t delayMs = 0) {
    // A programmer that stops answering stays silent; other faults hit one answer.
    return sim::Fault{kind, step, kind == Kind::NoAnswer ? 0 : 1, std::nullopt, delayMs};
}

// The version query against a programmer with one fault: its answers are the acknowledge
// (step 1), the high byte (2) and the low byte (3).
struct VersionCase {
    bool gang;
    sim::Fault fault;
    std::vector<std::string> boxes;
};

TEST(LinkWrappers, VersionQueryUnderEachFault) {
    const std::vector<VersionCase> cases = {
        {false, fault(Kind::NoAnswer, 1), {"FAIL: No response from Programmer !"}},
        {false, fault(Kind::WrongByte, 1), {"FAIL: Response error !"}},
        {false, fault(Kind::LateReply, 1, 1500), {"FAIL: No response from Programmer !"}},
        {false, fault(Kind::LateReply, 1, 900), {}},
        {false, fault(Kind::NoAnswer, 2), {"FAIL: Receive data error !"}},
        {false, fault(Kind::NoAnswer, 3), {"FAIL: Receive data error !"}},
        {true, fault(Kind::NoAnswer, 1), {"FAIL: No response from Gang Programmer !"}},
        {true, fault(Kind::WrongByte, 1), {"FAIL: Gang Programmer error !"}},
        {true, fault(Kind::NoAnswer, 3), {"FAIL: Receive data error !"}},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.fault.kind)) + " at " +
                     std::to_string(c.fault.step) + (c.gang ? " (gang)" : ""));
        LinkBench bench;
        bench.singlePort(c.gang ? testing::gangScenario(0x0512, {c.fault})
                                : testing::singleScenario(0xAB, 0x0512, {c.fault}));
        ASSERT_TRUE(bench.openRemembered());
        bench.session.assumeFirmware(FirmwareVariant::None, 0x0300);
        const bool ok =
            c.gang ? bench.session.readGangFirmwareVersion() : bench.session.readFirmwareVersion();
        EXPECT_EQ(ok, c.boxes.empty());
        EXPECT_EQ(bench.job.linkResult, ok ? 1 : 0);
        EXPECT_EQ(bench.op.boxes(), c.boxes);
        // A byte that does not come keeps its old value.
        std::uint16_t expected = 0x0512;
        if (!ok)
            expected = 0x0300;
        if (c.fault.kind == Kind::NoAnswer && c.fault.step == 3)
            expected = 0x0500;
        EXPECT_EQ(bench.session.firmwareVersion(), expected);
    }
}

TEST(LinkWrappers, CutLineFailsTheNextSendAndEveryFailureShowsOnce) {
    LinkBench bench;
    bench.singlePort(testing::singleScenario(0xAB, 0x0619, {fault(Kind::LineCut, 1)}));
    ASSERT_TRUE(bench.openRemembered());
    EXPECT_FALSE(bench.session.readFirmwareVersion());
    EXPECT_FALSE(bench.session.readFirmwareVersion());
    const std::uint8_t block[4] = {1, 2, 3, 4};
    std::uint8_t reply[3] = {};
    EXPECT_FALSE(bench.session.sendBlock(block, 4));
    EXPECT_FALSE(bench.session.receiveBlock(reply, 3));
    EXPECT_FALSE(bench.session.receiveRaw(reply[0]));
    EXPECT_EQ(
        bench.op.boxes(),
        (std::vector<std::string>{"FAIL: No response from Programmer !", "FAIL: Send data error !",
                                  "FAIL: Send data error !", "FAIL: Receive data error !"}))
        << "receiveRaw reports nothing";
    EXPECT_EQ(bench.job.linkResult, 0);
    // Each FAIL comes with the error beep and a progress reset.
    EXPECT_GT(bench.op.eventCount("status: Ready..."), 0);
}

TEST(LinkWrappers, LongWaitRestoresTheStandardProfile) {
    LinkBench bench;
    auto& device =
        bench.singlePort(testing::singleScenario(0xAB, 0x0619, {fault(Kind::LateReply, 1, 7000)}));
    ASSERT_TRUE(bench.openRemembered());
    // The version command answered 7 s late: within the long profile, not the standard one.
    EXPECT_TRUE(bench.session.sendCommandByte(0xC1));
    EXPECT_TRUE(bench.session.expectAck(kLongWaitTimeouts));
    EXPECT_EQ(device.line().hostTimeouts(), kStandardTimeouts);
    EXPECT_EQ(bench.link.timeouts(), kStandardTimeouts);
    EXPECT_TRUE(bench.op.boxes().empty());
}

}  // namespace
}  // namespace tarnel

// Update Chip on a line: the S/N each chip gets comes from the line's ledger, a failed
// chip's number goes back to it, and a ledger that cannot give one stops the chip.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/serial_number_source.h"
#include "operations/update.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"

namespace tarnel {
namespace {

using testing::LinkBench;
using Boxes = std::vector<std::string>;

// A line station's view of a fresh ledger file starting at 5000.
struct LineLedger {
    test::ScratchDir dir;
    std::unique_ptr<SerialLedger> ledger;
    std::unique_ptr<SerialNumberSource> source;

    LineLedger() {
        std::string error;
        ledger = openFileSerialLedger(dir.file("serials.ledger"), {0, 5000}, {0, 1}, &error);
        EXPECT_NE(ledger, nullptr) << error;
        source = std::make_unique<SerialNumberSource>(*ledger, "A");
    }
    SerialValue next() {
        std::string error;
        const auto r = ledger->reserve("check", &error);
        EXPECT_TRUE(r.has_value()) << error;
        return r ? r->value : SerialValue{};
    }
};

// The job's own counter is not what a line writes.
void icpJob(LinkBench& bench, SerialNumberSource& source, bool gang = false) {
    testing::apromJob(bench, 0x200, gang ? 100 : 300, gang);
    testing::setSerial(bench.job, gang ? 0x700 : 0x7F00, 12, 34567890);
    bench.job.serialSource = &source;
}

TEST(LineSerial, AFailedSingleChipGivesItsNumberBack) {
    LineLedger line;
    sim::SimChip wrongId;
    wrongId.wrongDeviceId = true;
    LinkBench bench;
    bench.singlePort(testing::withSockets(testing::singleScenario(0xAD), {wrongId}));
    icpJob(bench, *line.source);
    testing::downloaded(bench);
    updateSingleWorker(bench.session);
    EXPECT_EQ(bench.op.boxes(),
              Boxes{"FAIL: Device ID error !\nPlease select the correct Part No."});
    EXPECT_EQ(line.next(), (SerialValue{0, 5000})) << "the failed chip's number comes back";
    EXPECT_EQ(line.next(), (SerialValue{0, 5001}));
    EXPECT_TRUE(line.source->trouble().empty()) << line.source->trouble();
}

TEST(LineSerial, ALedgerThatCannotGiveANumberStopsTheChipBeforeTheWire) {
    LineLedger line;
    LinkBench bench;
    auto& device = bench.singlePort(testing::singleScenario(0xAD));
    icpJob(bench, *line.source);
    testing::downloaded(bench);
    std::filesystem::remove(line.dir.file("serials.ledger"));
    updateSingleWorker(bench.session);
    ASSERT_EQ(bench.op.boxes().size(), 1u);
    EXPECT_EQ(bench.op.boxes()[0].rfind("FAIL: The serial-number ledger cannot be reached !\n", 0),
              0u)
        << bench.op.boxes()[0];
    testing::settle(bench);
    const auto& aprom = device.programmer()->state().chip.aprom;
    EXPECT_TRUE(std::all_of(aprom.begin(), aprom.end(), [](std::uint8_t b) { return b == 0xFF; }))
        << "the chip was programmed";
}

// The gang's four sockets draw four numbers; the socket that failed gives its number back,
// the others keep theirs.
TEST(LineSerial, GangSocketsDrawFourNumbersAndAFailedSocketGivesItsBack) {
    LineLedger line;
    sim::SimChip wrong;
    wrong.wrongDeviceId = true;
    LinkBench bench;
    auto& device = bench.singlePort(testing::withSockets(testing::gangScenario(), {wrong}));
    icpJob(bench, *line.source, true);
    testing::downloaded(bench);

    updateGangWorker(bench.session);

    for (int unit = 2; unit <= 4; ++unit) {
        const auto chip = device.gangProgrammer()->unit(unit).state().chip;
        EXPECT_EQ(testing::slice(chip.aprom, 0x700),
                  (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0x50,
                                             static_cast<std::uint8_t>(unit - 1)}));
    }
    EXPECT_EQ(line.next(), (SerialValue{0, 5000})) << "socket 1's number comes back";
    EXPECT_EQ(line.next(), (SerialValue{0, 5004}));
}

}  // namespace
}  // namespace tarnel

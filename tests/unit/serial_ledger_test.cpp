#include "core/serial_ledger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "app/workbench.h"
#include "core/production_record.h"
#include "support/scratch_dir.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"

namespace tarnel {
namespace {

using test::ScratchDir;

std::unique_ptr<SerialLedger> openLedger(const std::string& path, SerialValue first = {0, 1000},
                                         SerialValue increment = {0, 1}) {
    std::string error;
    auto ledger = openFileSerialLedger(path, first, increment, &error);
    EXPECT_NE(ledger, nullptr) << error;
    return ledger;
}

SerialReservation take(SerialLedger& ledger, std::string_view station) {
    std::string error;
    const auto r = ledger.reserve(station, &error);
    EXPECT_TRUE(r.has_value()) << error;
    return r.value_or(SerialReservation{});
}

TEST(SerialArithmetic, WrapsAtSixteenDigitsAndParsesOnlyDigits) {
    EXPECT_EQ(addSerial({99999999, 99999999}, {0, 2}), (SerialValue{0, 1}));
    EXPECT_EQ(addSerial({0, 99999999}, {0, 1}), (SerialValue{1, 0}));
    EXPECT_EQ(serialDigits({12, 345}), "0000001200000345");
    EXPECT_EQ(parseSerialDigits("0000001200000345"), (SerialValue{12, 345}));
    EXPECT_FALSE(parseSerialDigits("12a").has_value());
    EXPECT_FALSE(parseSerialDigits("12345678901234567").has_value());
}

// Two stations (each with its own handle on the file) drawing at once never share a number,
// and the sequence has no gap: every draw used exactly the next number. The ledger lives in
// memory-backed storage where there is one: the test is about the lock, not the disk's sync.
TEST(FileSerialLedger, ConcurrentStationsNeverShareANumber) {
    std::string path = "/dev/shm/tarnel-ledger-test-" + std::to_string(std::random_device{}());
    std::optional<ScratchDir> dir;
    if (!std::filesystem::is_directory("/dev/shm")) {
        dir.emplace();
        path = dir->file("serials.ledger");
    }
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            std::filesystem::remove(path);
            std::filesystem::remove(path + ".lock");
        }
    } cleanup{path};
    openLedger(path);
#if defined(_WIN32)
    constexpr int kDraws = 200;  // each step syncs to a real disk there
#else
    constexpr int kDraws = 1000;
#endif
    std::vector<std::uint64_t> drawn[2];
    auto station = [&](int index) {
        std::string error;
        auto ledger = openFileSerialLedger(path, {0, 1000}, {0, 1}, &error);
        ASSERT_NE(ledger, nullptr) << error;
        const std::string name = index == 0 ? "A" : "B";
        for (int i = 0; i < kDraws; ++i) {
            const auto r = ledger->reserve(name, &error);
            ASSERT_TRUE(r.has_value()) << error;
            drawn[index].push_back(std::uint64_t{r->value.high} * 100000000 + r->value.low);
            ASSERT_TRUE(ledger->consume(*r, &error)) << error;
        }
    };
    std::thread a(station, 0);
    std::thread b(station, 1);
    a.join();
    b.join();
    std::set<std::uint64_t> all(drawn[0].begin(), drawn[0].end());
    all.insert(drawn[1].begin(), drawn[1].end());
    ASSERT_EQ(all.size(), 2u * kDraws);
    EXPECT_EQ(*all.begin(), 1000u);
    EXPECT_EQ(*all.rbegin(), 1000u + 2 * kDraws - 1);
}

TEST(FileSerialLedger, AFailedChipsNumberComesBackFirstAndStepsByTheIncrement) {
    ScratchDir dir;
    auto ledger = openLedger(dir.file("serials.ledger"), {0, 1000}, {0, 5});
    std::string error;
    const auto first = take(*ledger, "A");
    const auto second = take(*ledger, "A");
    ASSERT_TRUE(ledger->markSent(first, &error));
    ASSERT_TRUE(ledger->giveBack(first, &error)) << error;
    EXPECT_EQ(take(*ledger, "B").value, first.value);
    EXPECT_EQ(take(*ledger, "B").value, (SerialValue{0, 1010}));
    // A hand-out can be closed once only.
    ASSERT_TRUE(ledger->consume(second, &error));
    EXPECT_FALSE(ledger->giveBack(second, &error));
    EXPECT_NE(error.find("no open hand-out"), std::string::npos) << error;
}

// A station stopped mid-chip: at its next start the number that went on the wire is retired
// for ever, the one that did not is handed out again, and other stations' are untouched.
TEST(FileSerialLedger, RecoverRetiresSentNumbersAndReturnsUnsentOnes) {
    ScratchDir dir;
    const std::string path = dir.file("serials.ledger");
    SerialReservation sent, unsent, other;
    {
        auto crashed = openLedger(path);
        std::string error;
        sent = take(*crashed, "A");
        ASSERT_TRUE(crashed->markSent(sent, &error));
        unsent = take(*crashed, "A");
        other = take(*crashed, "B");
        ASSERT_TRUE(crashed->markSent(other, &error));
    }
    auto restarted = openLedger(path, {0, 1}, {0, 1});  // an existing ledger keeps its state
    std::string error;
    const auto retired = restarted->recover("A", &error);
    ASSERT_TRUE(retired.has_value()) << error;
    EXPECT_EQ(*retired, std::vector<SerialValue>{sent.value});
    EXPECT_EQ(take(*restarted, "A").value, unsent.value);
    EXPECT_EQ(take(*restarted, "A").value, (SerialValue{0, 1003}));
    EXPECT_TRUE(restarted->consume(other, &error)) << error;
    EXPECT_EQ(restarted->recover("A", &error)->size(), 0u);
}

TEST(FileSerialLedger, ADamagedOrVanishedFileIsAnErrorNeverAFreshStart) {
    ScratchDir dir;
    std::string error;
    const std::string garbage = dir.write("garbage.ledger", "{\"ledger\": \"tarnel serial");
    EXPECT_EQ(openFileSerialLedger(garbage, {0, 1}, {0, 1}, &error), nullptr);
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    const std::string path = dir.file("serials.ledger");
    auto ledger = openLedger(path);
    take(*ledger, "A");
    dir.write("serials.ledger",
              "{\"ledger\": \"tarnel serial numbers\", \"version\": 1, \"next\": \"12\", "
              "\"increment\": \"0000000000000001\", \"nextId\": 1, \"returned\": [], \"open\": "
              "[]}");
    error.clear();
    EXPECT_FALSE(ledger->reserve("A", &error).has_value());
    EXPECT_NE(error.find("\"next\""), std::string::npos) << error;

    std::filesystem::remove(path);
    error.clear();
    EXPECT_FALSE(ledger->reserve("A", &error).has_value());
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

// A station that was killed with a number on the wire: when its Workbench joins the line
// again, that number is retired and the production record says so, naming the station.
TEST(FileSerialLedger, AWorkbenchJoiningTheLineRecordsWhatItsLastRunLeftOpen) {
    ScratchDir dir;
    auto ledger = openLedger(dir.file("serials.ledger"));
    std::string error;
    const auto sent = take(*ledger, "A");
    ASSERT_TRUE(ledger->markSent(sent, &error));

    RecordingOperator op;
    VirtualClock clock;
    LoopbackPortFactory ports;
    Workbench bench{op, clock, ports, Workbench::RunOn::CallingThread};
    bench.startUp(dir.path());
    ASSERT_TRUE(bench.useSerialLedger(ledger.get(), "A", &error)) << error;
    EXPECT_NE(bench.job().serialSource, nullptr);

    const RecordContents record = readRecord(dir.path());
    ASSERT_EQ(record.entries.size(), 1u);
    const ChipOutcome& entry = record.entries[0];
    EXPECT_EQ(entry.serialNumber, "00000000,00001000");
    EXPECT_EQ(entry.station, "A");
    EXPECT_EQ(entry.failureClass, FailureClass::Link);
    EXPECT_NE(entry.failureText.find("retired"), std::string::npos) << entry.failureText;
    EXPECT_EQ(take(*ledger, "B").value, (SerialValue{0, 1001}));

    ASSERT_TRUE(bench.useSerialLedger(nullptr, "", &error));
    EXPECT_EQ(bench.job().serialSource, nullptr);
}

}  // namespace
}  // namespace tarnel

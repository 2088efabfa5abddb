// The database ledger and record against a real PostgreSQL server. The server is named by
// TARNEL_TEST_PG (scripts/test.sh starts a throwaway one and always sets it); without it
// these tests are skipped. TARNEL_TEST_PG_RESTART is the command that restarts that server.

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <set>
#include <thread>

#include "core/serial_ledger.h"
#include "line_db/line_store.h"
#include "line_db/pg_production_record.h"

namespace tarnel {
namespace {

class PgLedger : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* uri = std::getenv("TARNEL_TEST_PG");
        if (uri == nullptr || *uri == '\0')
            GTEST_SKIP() << "TARNEL_TEST_PG is not set";
        uri_ = uri;
        // Every test starts from an empty database.
        PGconn* conn = PQconnectdb(uri_.c_str());
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        PGresult* r = PQexec(conn,
                             "SET client_min_messages = warning; DROP TABLE IF EXISTS "
                             "tarnel_serial_state, tarnel_serial_returned, "
                             "tarnel_serial_handout, tarnel_serial_retired, "
                             "tarnel_production_record");
        EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(conn);
        PQclear(r);
        PQfinish(conn);
    }

    std::unique_ptr<SerialLedger> open(SerialValue first = {0, 1}) {
        std::string error;
        auto ledger = openSerialLedger(uri_, first, {0, 1}, &error);
        EXPECT_NE(ledger, nullptr) << error;
        return ledger;
    }

    // Runs the drawer helper as a process of its own; its output, once it has ended.
    std::future<std::string> draw(const std::string& station, int count) {
        const std::string command = std::string(TARNEL_LEDGER_DRAWER) + " '" + uri_ + "' " +
                                    station + " " + std::to_string(count);
        return std::async(std::launch::async, [command] {
            std::string out;
            if (FILE* pipe = ::popen(command.c_str(), "r")) {
                char buffer[256];
                while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
                    out += buffer;
                EXPECT_EQ(::pclose(pipe), 0) << command;
            }
            return out;
        });
    }

    // The numbers a drawer printed, and its count of retried steps.
    static std::vector<std::uint64_t> numbersIn(const std::string& out, int* failures) {
        std::vector<std::uint64_t> numbers;
        std::size_t at = 0;
        while (at < out.size()) {
            const std::size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end - at);
            if (line.rfind("failures ", 0) == 0)
                *failures = std::stoi(line.substr(9));
            else
                numbers.push_back(std::stoull(line));
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return numbers;
    }

    std::string uri_;
};

std::uint64_t ordinal(SerialValue v) {
    return std::uint64_t{v.high} * 100000000 + v.low;
}

// The server restarts while two stations draw: their calls fail while it is away and go on
// when it is back; no number is drawn twice, and every number up to the ledger's next one is
// either drawn or (its hand-out's answer lost with the server) handed out again.
TEST_F(PgLedger, ServerRestartMidRunLosesAndDuplicatesNothing) {
    const char* restart = std::getenv("TARNEL_TEST_PG_RESTART");
    if (restart == nullptr || *restart == '\0')
        GTEST_SKIP() << "TARNEL_TEST_PG_RESTART is not set";
    open();
    auto a = draw("A", 600);
    auto b = draw("B", 600);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(std::system(restart), 0);
    int failures = 0;
    int totalFailures = 0;
    std::set<std::uint64_t> drawn;
    for (auto* out : {&a, &b}) {
        for (const std::uint64_t n : numbersIn(out->get(), &failures))
            EXPECT_TRUE(drawn.insert(n).second) << "drawn twice: " << n;
        totalFailures += failures;
    }
    EXPECT_GT(totalFailures, 0) << "the restart came after the run";
    ASSERT_EQ(drawn.size(), 1200u);

    auto ledger = open();
    std::string error;
    for (const char* station : {"A", "B"})
        ASSERT_TRUE(ledger->recover(station, &error).has_value()) << error;
    std::set<std::uint64_t> all = drawn;
    for (;;) {
        const auto r = ledger->reserve("C", &error);
        ASSERT_TRUE(r.has_value()) << error;
        const std::uint64_t n = ordinal(r->value);
        if (!all.insert(n).second)
            FAIL() << "handed out again though drawn: " << n;
        if (n > *drawn.rbegin())
            break;  // a fresh number: everything below it is accounted for
    }
    EXPECT_EQ(all.size(), *all.rbegin()) << "a number was lost";
}

// A station killed mid-chip (its number marked sent, the process gone): its next start
// retires that number for good; the unsent one and a failed chip's come back first.
TEST_F(PgLedger, KilledStationsSentNumberIsRetiredAndFailedOnesComeBack) {
    std::string error;
    SerialReservation sent, unsent;
    {
        auto crashed = open({0, 500});
        sent = *crashed->reserve("A", &error);
        ASSERT_TRUE(crashed->markSent(sent, &error)) << error;
        unsent = *crashed->reserve("A", &error);
    }
    auto ledger = open({0, 1});  // an existing ledger keeps its state
    const auto retired = ledger->recover("A", &error);
    ASSERT_TRUE(retired.has_value()) << error;
    EXPECT_EQ(*retired, std::vector<SerialValue>{sent.value});
    EXPECT_EQ(ledger->reserve("A", &error)->value, unsent.value);
    const auto failed = *ledger->reserve("A", &error);
    EXPECT_EQ(failed.value, (SerialValue{0, 502}));
    ASSERT_TRUE(ledger->giveBack(failed, &error)) << error;
    EXPECT_EQ(ledger->reserve("B", &error)->value, failed.value);
    EXPECT_EQ(ledger->reserve("B", &error)->value, (SerialValue{0, 503}));
}

TEST_F(PgLedger, RecordRowsHoldTheEntryAndAnUnreachableServerIsAnError) {
    std::string error;
    auto record = PgProductionRecord::open(uri_, nullptr, &error);
    ASSERT_NE(record, nullptr) << error;
    ChipOutcome pass;
    pass.time = "2026-12-06T19:08:29+01:00";
    pass.station = "A";
    pass.serialNumber = "00000000,00000500";
    ChipOutcome fail = pass;
    fail.outcome = Outcome::Fail;
    fail.failureClass = FailureClass::Chip;
    fail.failureText = "Update APROM error !";
    ASSERT_TRUE(record->write(pass, &error)) << error;
    ASSERT_TRUE(record->write(fail, &error)) << error;
    const auto rows = record->readAll(&error);
    ASSERT_TRUE(rows.has_value()) << error;
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0].station, "A");
    EXPECT_EQ((*rows)[1].failureText, fail.failureText);

    EXPECT_EQ(openSerialLedger("postgresql:///none?host=/nonexistent", {0, 1}, {0, 1}, &error),
              nullptr);
    EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarnel

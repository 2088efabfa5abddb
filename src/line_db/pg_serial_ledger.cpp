#include "line_db/pg_serial_ledger.h"

#include <cstdlib>
#include <mutex>

#include "line_db/pg_connection.h"

namespace tarnel {

namespace {

constexpr std::uint64_t kHalf = 100000000;

std::string number(SerialValue v) {
    return std::to_string(std::uint64_t{v.high} * kHalf + v.low);
}

std::string number(std::uint64_t n) {
    return std::to_string(n);
}

SerialValue serialOf(const char* text) {
    const std::uint64_t n = std::strtoull(text, nullptr, 10);
    return {static_cast<std::uint32_t>(n / kHalf), static_cast<std::uint32_t>(n % kHalf)};
}

// The schema, made once by whichever PC comes first: the advisory lock keeps two PCs
// starting at once from racing on CREATE TABLE.
constexpr const char* kSchema = R"sql(
SELECT pg_advisory_xact_lock(7366290315);
CREATE TABLE IF NOT EXISTS tarnel_serial_state (
    id integer PRIMARY KEY CHECK (id = 1),
    next_value bigint NOT NULL CHECK (next_value >= 0 AND next_value < 10000000000000000),
    increment bigint NOT NULL CHECK (increment >= 0 AND increment < 10000000000000000));
CREATE TABLE IF NOT EXISTS tarnel_serial_returned (value bigint PRIMARY KEY);
CREATE TABLE IF NOT EXISTS tarnel_serial_handout (
    id bigserial PRIMARY KEY,
    station text NOT NULL,
    value bigint NOT NULL,
    sent boolean NOT NULL DEFAULT false,
    reserved_at timestamptz NOT NULL DEFAULT now());
CREATE INDEX IF NOT EXISTS tarnel_serial_handout_station ON tarnel_serial_handout (station);
CREATE TABLE IF NOT EXISTS tarnel_serial_retired (
    value bigint NOT NULL,
    station text NOT NULL,
    retired_at timestamptz NOT NULL DEFAULT now());
)sql";

class PgSerialLedger : public SerialLedger {
  public:
    PgSerialLedger(const std::string& uri, SerialValue first, SerialValue increment)
        : first_(number(first)),
          increment_(number(increment)),
          db_(uri, [this](PgConnection& db, std::string* error) { return prepare(db, error); }) {}

    bool open(std::string* error) {
        std::lock_guard lock(mutex_);
        return db_.ensure(error);
    }

    std::optional<SerialReservation> reserve(std::string_view station,
                                             std::string* error) override {
        std::lock_guard lock(mutex_);
        const std::string name(station);
        auto fail = [&] {
            db_.rollback();
            return std::nullopt;
        };
        if (!db_.runOk("BEGIN", {}, error))
            return std::nullopt;
        // Every reserve holds the state row until it commits: one at a time, line-wide.
        PgResult state =
            db_.run("SELECT next_value, increment FROM tarnel_serial_state WHERE id = 1 FOR UPDATE",
                    {}, error);
        if (!state)
            return fail();
        if (rowCount(state) != 1) {
            if (error != nullptr)
                *error = "the serial-number ledger has no state row";
            return fail();
        }
        PgResult back = db_.run(
            "DELETE FROM tarnel_serial_returned WHERE value = "
            "(SELECT min(value) FROM tarnel_serial_returned) RETURNING value",
            {}, error);
        if (!back)
            return fail();
        std::string value;
        if (rowCount(back) == 1) {
            value = fieldText(back, 0, 0);
        } else {
            value = fieldText(state, 0, 0);
            if (!db_.runOk("UPDATE tarnel_serial_state SET next_value = "
                           "(next_value + increment) % 10000000000000000 WHERE id = 1",
                           {}, error))
                return fail();
        }
        PgResult handOut = db_.run(
            "INSERT INTO tarnel_serial_handout (station, value) VALUES ($1, $2) RETURNING id",
            {name.c_str(), value.c_str()}, error);
        if (!handOut || !db_.runOk("COMMIT", {}, error))
            return fail();
        SerialReservation r;
        r.id = std::strtoull(fieldText(handOut, 0, 0), nullptr, 10);
        r.value = serialOf(value.c_str());
        return r;
    }

    bool markSent(const SerialReservation& r, std::string* error) override {
        return oneHandOut(
            "UPDATE tarnel_serial_handout SET sent = true WHERE id = $1 AND value = $2 "
            "RETURNING id",
            r, error);
    }

    bool consume(const SerialReservation& r, std::string* error) override {
        return oneHandOut(
            "DELETE FROM tarnel_serial_handout WHERE id = $1 AND value = $2 RETURNING id", r,
            error);
    }

    bool giveBack(const SerialReservation& r, std::string* error) override {
        return oneHandOut(
            "WITH h AS (DELETE FROM tarnel_serial_handout WHERE id = $1 AND value = $2 "
            "RETURNING value) "
            "INSERT INTO tarnel_serial_returned SELECT value FROM h RETURNING value",
            r, error);
    }

    std::optional<std::vector<SerialValue>> recover(std::string_view station,
                                                    std::string* error) override {
        std::lock_guard lock(mutex_);
        const std::string name(station);
        PgResult rows = db_.run(
            "WITH h AS (DELETE FROM tarnel_serial_handout WHERE station = $1 "
            "RETURNING value, sent), "
            "back AS (INSERT INTO tarnel_serial_returned SELECT value FROM h WHERE NOT sent), "
            "gone AS (INSERT INTO tarnel_serial_retired (value, station) "
            "SELECT value, $1 FROM h WHERE sent) "
            "SELECT value FROM h WHERE sent ORDER BY value",
            {name.c_str()}, error);
        if (!rows)
            return std::nullopt;
        std::vector<SerialValue> retired;
        for (int i = 0; i < rowCount(rows); ++i)
            retired.push_back(serialOf(fieldText(rows, i, 0)));
        return retired;
    }

  private:
    bool prepare(PgConnection& db, std::string* error) {
        return db.createSchema("tarnel_serial_retired", kSchema, error) &&
               db.runOk(
                   "INSERT INTO tarnel_serial_state VALUES (1, $1, $2) "
                   "ON CONFLICT (id) DO NOTHING",
                   {first_.c_str(), increment_.c_str()}, error);
    }

    // One statement on one open hand-out; false when it is not open (any more).
    bool oneHandOut(const char* sql, const SerialReservation& r, std::string* error) {
        std::lock_guard lock(mutex_);
        const std::string id = number(r.id);
        const std::string value = number(r.value);
        PgResult rows = db_.run(sql, {id.c_str(), value.c_str()}, error);
        if (!rows)
            return false;
        if (rowCount(rows) != 1) {
            if (error != nullptr)
                *error = "the serial-number ledger holds no open hand-out " + id + " (S/N " +
                         serialText(r.value) + ")";
            return false;
        }
        return true;
    }

    std::string first_;
    std::string increment_;
    std::mutex mutex_;  // stations of one PC may share the ledger; one connection serves them
    PgConnection db_;
};

}  // namespace

std::unique_ptr<SerialLedger> openPostgresSerialLedger(const std::string& uri, SerialValue first,
                                                       SerialValue increment, std::string* error) {
    auto ledger = std::make_unique<PgSerialLedger>(uri, first, increment);
    if (!ledger->open(error))
        return nullptr;
    return ledger;
}

}  // namespace tarnel

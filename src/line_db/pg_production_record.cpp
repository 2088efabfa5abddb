#include "line_db/pg_production_record.h"

#include "core/production_record.h"
#include "line_db/pg_connection.h"

namespace tarnel {

namespace {

constexpr const char* kSchema = R"sql(
SELECT pg_advisory_xact_lock(7366290316);
CREATE TABLE IF NOT EXISTS tarnel_production_record (
    id bigserial PRIMARY KEY,
    time timestamptz NOT NULL,
    station text NOT NULL,
    serial text NOT NULL,
    outcome text NOT NULL,
    entry jsonb NOT NULL);
CREATE INDEX IF NOT EXISTS tarnel_production_record_time ON tarnel_production_record (time);
CREATE INDEX IF NOT EXISTS tarnel_production_record_serial
    ON tarnel_production_record (serial);
CREATE INDEX IF NOT EXISTS tarnel_production_record_station
    ON tarnel_production_record (station, time);
)sql";

bool prepare(PgConnection& db, std::string* error) {
    return db.createSchema("tarnel_production_record_station", kSchema, error);
}

}  // namespace

PgProductionRecord::PgProductionRecord(const std::string& uri,
                                       std::function<void(const std::string&)> onError)
    : onError_(std::move(onError)), db_(std::make_unique<PgConnection>(uri, prepare)) {}

PgProductionRecord::~PgProductionRecord() = default;

std::unique_ptr<PgProductionRecord> PgProductionRecord::open(
    const std::string& uri, std::function<void(const std::string&)> onError, std::string* error) {
    std::unique_ptr<PgProductionRecord> record(new PgProductionRecord(uri, std::move(onError)));
    if (!record->db_->ensure(error))
        return nullptr;
    return record;
}

bool PgProductionRecord::write(const ChipOutcome& outcome, std::string* error) {
    if (!recordKeeps(outcome))
        return true;
    const std::string line = recordLine(outcome);
    const std::string verdict(outcomeName(outcome.outcome));
    std::lock_guard lock(mutex_);
    // One statement: its own transaction.
    return db_->runOk(
        "INSERT INTO tarnel_production_record (time, station, serial, outcome, entry) "
        "VALUES ($1::timestamptz, $2, $3, $4, $5::jsonb)",
        {outcome.time.c_str(), outcome.station.c_str(), outcome.serialNumber.c_str(),
         verdict.c_str(), line.c_str()},
        error);
}

void PgProductionRecord::chipOutcome(const ChipOutcome& outcome) {
    std::string error;
    if (!write(outcome, &error) && onError_)
        onError_(error);
}

std::optional<std::vector<ChipOutcome>> PgProductionRecord::readAll(std::string* error) {
    std::lock_guard lock(mutex_);
    PgResult rows =
        db_->run("SELECT entry::text FROM tarnel_production_record ORDER BY id", {}, error);
    if (!rows)
        return std::nullopt;
    std::vector<ChipOutcome> entries;
    for (int i = 0; i < rowCount(rows); ++i) {
        std::string reason;
        auto entry = parseRecordLine(fieldText(rows, i, 0), &reason);
        if (!entry) {
            if (error != nullptr)
                *error = "a record row cannot be read: " + reason;
            return std::nullopt;
        }
        entries.push_back(std::move(*entry));
    }
    return entries;
}

}  // namespace tarnel

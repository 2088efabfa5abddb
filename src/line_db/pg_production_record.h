#pragma once
// The production record in a PostgreSQL database: one row per kept outcome, each inserted in
// its own transaction, with the entry as the record line holds it (jsonb) and its time,
// station, serial number and outcome in indexed columns.
//
//   tarnel_production_record (id bigserial, time timestamptz, station text, serial text,
//                             outcome text, entry jsonb)

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/chip_outcome.h"

namespace tarnel {

class PgConnection;

class PgProductionRecord : public OutcomeSink {
  public:
    // Empty with the reason when the database cannot be reached or prepared.
    static std::unique_ptr<PgProductionRecord> open(const std::string& uri,
                                                    std::function<void(const std::string&)> onError,
                                                    std::string* error);
    ~PgProductionRecord() override;

    // Stores one entry (if the record keeps it); false with the reason.
    bool write(const ChipOutcome& outcome, std::string* error);
    // As write; a failure goes to onError.
    void chipOutcome(const ChipOutcome& outcome) override;
    // Every entry, oldest first; empty with the reason in *error when it cannot be read.
    std::optional<std::vector<ChipOutcome>> readAll(std::string* error);

  private:
    PgProductionRecord(const std::string& uri, std::function<void(const std::string&)> onError);

    std::function<void(const std::string&)> onError_;
    std::mutex mutex_;
    std::unique_ptr<PgConnection> db_;
};

}  // namespace tarnel

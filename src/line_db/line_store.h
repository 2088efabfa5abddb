#pragma once
// A line's shared stores: the production record (a directory of day files, or PostgreSQL)
// beside the serial-number ledger (openSerialLedger, defined here for both backends).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/chip_outcome.h"

namespace tarnel {

// "postgresql://..." or "postgres://...": a location in a PostgreSQL database.
bool isPostgresLocation(std::string_view location);

// True when this build can use PostgreSQL locations.
bool postgresSupported();

// The production record a line names: entries go to the day files of a directory, or one
// row each into a PostgreSQL database. `onError` hears of an entry that could not be stored
// (the reason); the sink carries on and tries again with the next entry. Empty, with the
// reason in *error, when a database cannot be reached or prepared.
std::unique_ptr<OutcomeSink> openProductionRecord(const std::string& location,
                                                  std::function<void(const std::string&)> onError,
                                                  std::string* error);

}  // namespace tarnel

#include "line_db/line_store.h"

#include "core/production_record.h"
#include "core/serial_ledger.h"

#if defined(TARNEL_HAVE_POSTGRESQL)
#include "line_db/pg_production_record.h"
#include "line_db/pg_serial_ledger.h"
#endif

namespace tarnel {

namespace {

void setError(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
}

}  // namespace

bool isPostgresLocation(std::string_view location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

bool postgresSupported() {
#if defined(TARNEL_HAVE_POSTGRESQL)
    return true;
#else
    return false;
#endif
}

std::unique_ptr<SerialLedger> openSerialLedger(const std::string& location, SerialValue first,
                                               SerialValue increment, std::string* error) {
    if (!isPostgresLocation(location))
        return openFileSerialLedger(location, first, increment, error);
#if defined(TARNEL_HAVE_POSTGRESQL)
    return openPostgresSerialLedger(location, first, increment, error);
#else
    setError(error, "this build of Tarnel cannot use PostgreSQL (" + location + ")");
    return nullptr;
#endif
}

std::unique_ptr<OutcomeSink> openProductionRecord(const std::string& location,
                                                  std::function<void(const std::string&)> onError,
                                                  std::string* error) {
    if (!isPostgresLocation(location)) {
        if (location.empty()) {
            setError(error, "no production record named");
            return nullptr;
        }
        return std::make_unique<ProductionRecord>([location] { return location; },
                                                  std::move(onError));
    }
#if defined(TARNEL_HAVE_POSTGRESQL)
    return PgProductionRecord::open(location, std::move(onError), error);
#else
    (void)onError;
    setError(error, "this build of Tarnel cannot use PostgreSQL (" + location + ")");
    return nullptr;
#endif
}

}  // namespace tarnel

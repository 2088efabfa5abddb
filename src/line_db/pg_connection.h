#pragma once
// One libpq connection that comes back by itself: a call made while the server is away
// fails with the reason, and the next call connects again.

#include <libpq-fe.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

namespace tarnel {

// libpq is loaded when a line first connects to a database, not when the program starts:
// it brings two dozen libraries with it, which would slow every `tarnel` command, and a PC
// without it still runs everything else.
// Every libpq function used, named once: the table's fields and their lookup follow from it.
#define TARNEL_LIBPQ_FUNCTIONS(X)                                                   \
    X(connectdbParams)                                                              \
    X(status) X(errorMessage) X(setNoticeProcessor) X(finish) X(exec) X(execParams) \
        X(resultStatus) X(resultErrorMessage) X(ntuples) X(getvalue) X(clear)
struct LibPq {
#define TARNEL_LIBPQ_FIELD(name) decltype(&::PQ##name) name;
    TARNEL_LIBPQ_FUNCTIONS(TARNEL_LIBPQ_FIELD)
#undef TARNEL_LIBPQ_FIELD
};
// The library, loaded on the first call; null with the reason in *error when it cannot be.
const LibPq* libPq(std::string* error = nullptr);

struct PgResultFree {
    void operator()(PGresult* result) const { libPq()->clear(result); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

// The rows of a result, and the text of one field.
inline int rowCount(const PgResult& result) {
    return libPq()->ntuples(result.get());
}
inline const char* fieldText(const PgResult& result, int row, int column) {
    return libPq()->getvalue(result.get(), row, column);
}

class PgConnection {
  public:
    // `prepare` runs on each new connection (creating the tables if missing); a connection it
    // fails on is not used.
    PgConnection(std::string uri, std::function<bool(PgConnection&, std::string*)> prepare);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connected, connecting first when needed; false with the reason.
    bool ensure(std::string* error);
    // One statement with text parameters (null for SQL NULL). Empty, with the reason, when
    // it failed; a connection found broken is dropped, to be made again on the next call.
    PgResult run(const char* sql, std::initializer_list<const char*> params, std::string* error);
    // A statement whose rows do not matter.
    bool runOk(const char* sql, std::initializer_list<const char*> params, std::string* error) {
        return run(sql, params, error) != nullptr;
    }
    // Several statements without parameters, in one go.
    bool runScript(const char* sql, std::string* error);
    // Runs the schema script in its own transaction unless `lastObject` (the last thing the
    // script creates) exists already. Creating only when missing keeps the script's table
    // locks away from the other PCs' running transactions.
    bool createSchema(const char* lastObject, const char* script, std::string* error);
    // Ends a failed transaction, if the connection still stands.
    void rollback();

  private:
    void drop();

    std::string uri_;
    std::function<bool(PgConnection&, std::string*)> prepare_;
    PGconn* conn_ = nullptr;
};

// The location without its password, for messages.
std::string redactedLocation(const std::string& uri);

}  // namespace tarnel

// The file ledger: one JSON document beside a lock file.
//
// {"ledger": "tarnel serial numbers", "version": 1,
//  "next": "0000000000001000", "increment": "0000000000000001", "nextId": 7,
//  "returned": ["0000000000000998"],
//  "open": [{"id": 6, "station": "A", "serial": "0000000000000999", "sent": true}]}
//
// Every step takes an exclusive lock on "<path>.lock", reads the document, changes it and
// replaces it atomically (synced to the disk) before the lock is let go. The lock lives on a
// file of its own because the document itself is replaced by a rename at every step: a lock
// on it would be a lock on a file that is no longer there.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "core/atomic_file.h"
#include "core/serial_ledger.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tarnel {

namespace {

using nlohmann::json;

constexpr const char* kLedgerTag = "tarnel serial numbers";
constexpr int kLedgerVersion = 1;
constexpr std::uint64_t kMaxLedgerBytes = 16 * 1024 * 1024;

void setError(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
}

// Holds the exclusive lock on the ledger's lock file for as long as it lives.
class LedgerLock {
  public:
    explicit LedgerLock(const std::string& path, std::string* error) {
        const std::string lockPath = path + ".lock";
#if defined(_WIN32)
        handle_ = ::CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            setError(error, "cannot open the lock file " + lockPath + " (error " +
                                std::to_string(::GetLastError()) + ")");
            return;
        }
        OVERLAPPED whole{};
        if (!::LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
            setError(error, "cannot lock " + lockPath + " (error " +
                                std::to_string(::GetLastError()) + ")");
            ::CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
            return;
        }
        locked_ = true;
#else
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            setError(error, "cannot open the lock file " + lockPath + ": " + std::strerror(errno));
            return;
        }
        int result;
        do {
            result = ::flock(fd_, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            setError(error, "cannot lock " + lockPath + ": " + std::strerror(errno));
            return;
        }
        locked_ = true;
#endif
    }
    ~LedgerLock() {
#if defined(_WIN32)
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);  // closing the handle lets the lock go
#else
        if (fd_ >= 0)
            ::close(fd_);  // closing the last descriptor lets the lock go
#endif
    }
    LedgerLock(const LedgerLock&) = delete;
    LedgerLock& operator=(const LedgerLock&) = delete;
    bool locked() const {
        return locked_;
    }

  private:
#if defined(_WIN32)
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
    bool locked_ = false;
};

struct OpenHandOut {
    std::uint64_t id = 0;
    std::string station;
    SerialValue value;
    bool sent = false;
};

struct LedgerState {
    SerialValue next;
    SerialValue increment;
    std::uint64_t nextId = 1;
    std::vector<SerialValue> returned;  // handed out again, lowest first
    std::vector<OpenHandOut> open;
};

std::uint64_t ordinal(SerialValue v) {
    return std::uint64_t{v.high} * 100000000ULL + v.low;
}

void sortReturned(std::vector<SerialValue>& returned) {
    std::sort(returned.begin(), returned.end(),
              [](SerialValue a, SerialValue b) { return ordinal(a) < ordinal(b); });
}

std::string encode(const LedgerState& state) {
    json returned = json::array();
    for (const SerialValue& v : state.returned)
        returned.push_back(serialDigits(v));
    json open = json::array();
    for (const OpenHandOut& h : state.open)
        open.push_back({{"id", h.id},
                        {"station", h.station},
                        {"serial", serialDigits(h.value)},
                        {"sent", h.sent}});
    const json document = {{"ledger", kLedgerTag},
                           {"version", kLedgerVersion},
                           {"next", serialDigits(state.next)},
                           {"increment", serialDigits(state.increment)},
                           {"nextId", state.nextId},
                           {"returned", returned},
                           {"open", open}};
    return document.dump(1) + "\n";
}

// The serial held by a JSON value; throws a readable reason otherwise.
SerialValue serialField(const json& value, const char* what) {
    if (!value.is_string() || value.get_ref<const std::string&>().size() != 16)
        throw std::runtime_error(std::string(what) + " is not a sixteen-digit number");
    const auto parsed = parseSerialDigits(value.get_ref<const std::string&>());
    if (!parsed)
        throw std::runtime_error(std::string(what) + " is not a sixteen-digit number");
    return *parsed;
}

std::optional<LedgerState> decode(const std::string& text, std::string* reason) {
    try {
        const json document = json::parse(text);
        if (!document.is_object() || document.value("ledger", "") != kLedgerTag)
            throw std::runtime_error("not a serial-number ledger");
        if (!document.contains("version") || document["version"] != kLedgerVersion)
            throw std::runtime_error("unknown ledger version");
        LedgerState state;
        state.next = serialField(document.at("next"), "\"next\"");
        state.increment = serialField(document.at("increment"), "\"increment\"");
        const json& nextId = document.at("nextId");
        if (!nextId.is_number_unsigned())
            throw std::runtime_error("\"nextId\" is not a number");
        state.nextId = nextId.get<std::uint64_t>();
        const json& returned = document.at("returned");
        const json& open = document.at("open");
        if (!returned.is_array() || !open.is_array())
            throw std::runtime_error("\"returned\" or \"open\" is not a list");
        for (const json& v : returned)
            state.returned.push_back(serialField(v, "a returned number"));
        for (const json& h : open) {
            if (!h.is_object() || !h.contains("id") || !h["id"].is_number_unsigned() ||
                !h.contains("station") || !h["station"].is_string() || !h.contains("sent") ||
                !h["sent"].is_boolean() || !h.contains("serial"))
                throw std::runtime_error("an open hand-out lacks its id, station, serial or sent");
            state.open.push_back({h["id"].get<std::uint64_t>(), h["station"].get<std::string>(),
                                  serialField(h["serial"], "an open hand-out's serial"),
                                  h["sent"].get<bool>()});
        }
        sortReturned(state.returned);
        return state;
    } catch (const std::exception& e) {
        *reason = e.what();
        return std::nullopt;
    }
}

class FileSerialLedger : public SerialLedger {
  public:
    explicit FileSerialLedger(std::string path) : path_(std::move(path)) {}

    // Creates the ledger file if there is none; checks an existing one can be read.
    bool prepare(SerialValue first, SerialValue increment, std::string* error) {
        LedgerLock lock(path_, error);
        if (!lock.locked())
            return false;
        std::vector<std::uint8_t> bytes;
        const ReadResult read = readWholeFile(path_, bytes, kMaxLedgerBytes);
        if (read == ReadResult::OpenFailed && !fileExists()) {
            LedgerState state;
            state.next = first;
            state.increment = increment;
            return store(state, error);
        }
        return load(error).has_value();
    }

    std::optional<SerialReservation> reserve(std::string_view station,
                                             std::string* error) override {
        std::optional<SerialReservation> taken;
        change(error, [&](LedgerState& state) {
            SerialReservation r;
            r.id = state.nextId++;
            if (!state.returned.empty()) {
                r.value = state.returned.front();
                state.returned.erase(state.returned.begin());
            } else {
                r.value = state.next;
                state.next = addSerial(state.next, state.increment);
            }
            state.open.push_back({r.id, std::string(station), r.value, false});
            taken = r;
            return true;
        });
        return taken;
    }

    bool markSent(const SerialReservation& reservation, std::string* error) override {
        return changeHandOut(reservation, error, [](LedgerState&, OpenHandOut& h) {
            h.sent = true;
            return false;
        });
    }

    bool consume(const SerialReservation& reservation, std::string* error) override {
        return changeHandOut(reservation, error, [](LedgerState&, OpenHandOut&) { return true; });
    }

    bool giveBack(const SerialReservation& reservation, std::string* error) override {
        return changeHandOut(reservation, error, [](LedgerState& state, OpenHandOut& h) {
            state.returned.push_back(h.value);
            sortReturned(state.returned);
            return true;
        });
    }

    std::optional<std::vector<SerialValue>> recover(std::string_view station,
                                                    std::string* error) override {
        std::vector<SerialValue> retired;
        const bool done = change(error, [&](LedgerState& state) {
            std::vector<OpenHandOut> stillOpen;
            for (OpenHandOut& h : state.open) {
                if (h.station != station)
                    stillOpen.push_back(std::move(h));
                else if (h.sent)
                    retired.push_back(h.value);
                else
                    state.returned.push_back(h.value);
            }
            const bool changed = stillOpen.size() != state.open.size();
            state.open = std::move(stillOpen);
            sortReturned(state.returned);
            return changed;
        });
        if (!done)
            return std::nullopt;
        return retired;
    }

  private:
    bool fileExists() const {
        std::error_code code;
        return std::filesystem::exists(path_, code) || code;
    }

    std::optional<LedgerState> load(std::string* error) const {
        std::vector<std::uint8_t> bytes;
        const ReadResult read = readWholeFile(path_, bytes, kMaxLedgerBytes);
        if (read != ReadResult::Ok) {
            setError(error, "the serial-number ledger " + describeReadFailure(read, path_));
            return std::nullopt;
        }
        std::string reason;
        auto state = decode(std::string(bytes.begin(), bytes.end()), &reason);
        if (!state)
            setError(error, "the serial-number ledger " + path_ + " is damaged: " + reason);
        return state;
    }

    bool store(const LedgerState& state, std::string* error) const {
        const std::string text = encode(state);
        std::string reason;
        if (!writeFileAtomically(path_,
                                 {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                                 &reason)) {
            setError(error, "cannot write the serial-number ledger: " + reason);
            return false;
        }
        return true;
    }

    // Reads, applies `step` and writes back, all under the lock. `step` returns whether it
    // changed anything (false: nothing to write).
    template <typename Step>
    bool change(std::string* error, Step step) {
        LedgerLock lock(path_, error);
        if (!lock.locked())
            return false;
        auto state = load(error);
        if (!state)
            return false;
        if (!step(*state))
            return true;
        return store(*state, error);
    }

    // As change, for the one open hand-out of a reservation; `step` returns true when the
    // hand-out is closed by it (removed from the open list).
    template <typename Step>
    bool changeHandOut(const SerialReservation& reservation, std::string* error, Step step) {
        bool found = false;
        const bool done = change(error, [&](LedgerState& state) {
            const auto it =
                std::find_if(state.open.begin(), state.open.end(),
                             [&](const OpenHandOut& h) { return h.id == reservation.id; });
            if (it == state.open.end() || !(it->value == reservation.value))
                return false;
            found = true;
            if (step(state, *it))  // steps never touch the open list itself
                state.open.erase(it);
            return true;
        });
        if (done && !found) {
            setError(error, "the serial-number ledger holds no open hand-out " +
                                std::to_string(reservation.id) + " (S/N " +
                                serialText(reservation.value) + ")");
            return false;
        }
        return done;
    }

    std::string path_;
};

}  // namespace

std::unique_ptr<SerialLedger> openFileSerialLedger(const std::string& path, SerialValue first,
                                                   SerialValue increment, std::string* error) {
    if (path.empty()) {
        setError(error, "no serial-number ledger file named");
        return nullptr;
    }
    auto ledger = std::make_unique<FileSerialLedger>(path);
    if (!ledger->prepare(first, increment, error))
        return nullptr;
    return ledger;
}

}  // namespace tarnel

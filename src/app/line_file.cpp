#include "app/line_file.h"

#include <cctype>
#include <filesystem>
#include <set>

#include <nlohmann/json.hpp>

#include "core/atomic_file.h"

namespace tarnel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A line file names a few stations; anything near this size is not one.
constexpr std::uint64_t kMaxLineFileBytes = 1u << 20;

bool validStationName(const std::string& name) {
    if (name.empty() || name.size() > 32) {
        return false;
    }
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

// Up to 16 decimal digits: the upper eight go to `high`, the lower eight to `low`.
std::optional<SerialValue> serialFromDigits(const std::string& digits) {
    if (digits.empty() || digits.size() > 16) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return SerialValue{static_cast<std::uint32_t>(value / 100000000u),
                       static_cast<std::uint32_t>(value % 100000000u)};
}

std::string resolved(const fs::path& base, const std::string& path) {
    if (path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0) {
        return path;
    }
    fs::path p(path);
    return (p.is_absolute() ? p : base / p).lexically_normal().string();
}

// A string member; empty with the fault in *fault when it is absent or not a string.
std::optional<std::string> stringMember(const Json& object, const char* key, std::string* fault,
                                        const std::string& where) {
    auto it = object.find(key);
    if (it == object.end()) {
        *fault = where + " has no \"" + key + "\"";
        return std::nullopt;
    }
    if (!it->is_string() || it->get<std::string>().empty()) {
        *fault = where + ": \"" + key + "\" must be a non-empty string";
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<LineSetup> parse(const Json& root, const fs::path& file, std::string* fault) {
    if (!root.is_object()) {
        *fault = "the file must hold a JSON object";
        return std::nullopt;
    }
    const fs::path base = file.parent_path();
    LineSetup setup;
    setup.path = file.string();

    auto stations = root.find("stations");
    if (stations == root.end() || !stations->is_array() || stations->empty()) {
        *fault = "\"stations\" must be a non-empty list";
        return std::nullopt;
    }
    std::set<std::string> names;
    std::set<std::string> ports;
    for (std::size_t i = 0; i < stations->size(); ++i) {
        const Json& entry = (*stations)[i];
        std::string where = "station " + std::to_string(i + 1);
        if (!entry.is_object()) {
            *fault = where + " must be a JSON object";
            return std::nullopt;
        }
        StationSetup station;
        auto name = stringMember(entry, "name", fault, where);
        if (!name) {
            return std::nullopt;
        }
        if (!validStationName(*name)) {
            *fault = where + ": name \"" + *name + "\" must be 1 to 32 letters, digits, '-' or '_'";
            return std::nullopt;
        }
        if (!names.insert(*name).second) {
            *fault = "two stations are named \"" + *name + "\"";
            return std::nullopt;
        }
        where = "station \"" + *name + "\"";
        station.name = *name;

        auto kind = entry.find("kind");
        std::string kindText = "programmer";
        if (kind != entry.end()) {
            if (!kind->is_string()) {
                *fault = where + ": \"kind\" must be \"programmer\" or \"isp\"";
                return std::nullopt;
            }
            kindText = kind->get<std::string>();
        }
        if (kindText == "programmer") {
            station.kind = StationKind::Programmer;
        } else if (kindText == "isp") {
            station.kind = StationKind::IspComPort;
        } else {
            *fault = where + ": unknown kind \"" + kindText + "\" (\"programmer\" or \"isp\")";
            return std::nullopt;
        }

        auto port = stringMember(entry, "port", fault, where);
        if (!port) {
            return std::nullopt;
        }
        if (!ports.insert(*port).second) {
            *fault = where + ": port " + *port + " is already another station's";
            return std::nullopt;
        }
        station.port = *port;

        auto project = stringMember(entry, "project", fault, where);
        if (!project) {
            return std::nullopt;
        }
        station.project = resolved(base, *project);
        if (!fs::is_regular_file(station.project)) {
            *fault = where + ": project " + station.project + " does not exist";
            return std::nullopt;
        }

        auto work = entry.find("workDirectory");
        if (work != entry.end() && !(work->is_string() && !work->get<std::string>().empty())) {
            *fault = where + ": \"workDirectory\" must be a non-empty string";
            return std::nullopt;
        }
        station.workDirectory = work != entry.end() ? resolved(base, work->get<std::string>())
                                                    : (base / "stations" / station.name).string();
        setup.stations.push_back(std::move(station));
    }

    auto ledger = root.find("ledger");
    if (ledger != root.end() && !(ledger->is_string() && !ledger->get<std::string>().empty())) {
        *fault = "\"ledger\" must be a file path or a postgresql:// address";
        return std::nullopt;
    }
    setup.ledger = resolved(
        base, ledger != root.end() ? ledger->get<std::string>() : std::string("serials.ledger"));
    auto record = root.find("record");
    if (record != root.end() && !(record->is_string() && !record->get<std::string>().empty())) {
        *fault = "\"record\" must be a directory or a postgresql:// address";
        return std::nullopt;
    }
    setup.record =
        resolved(base, record != root.end() ? record->get<std::string>() : std::string("records"));

    auto serial = root.find("serial");
    if (serial != root.end()) {
        if (!serial->is_object()) {
            *fault = "\"serial\" must be an object with \"first\" and \"increment\"";
            return std::nullopt;
        }
        for (auto [key, target] : {std::pair{"first", &setup.firstSerial},
                                   std::pair{"increment", &setup.serialIncrement}}) {
            auto it = serial->find(key);
            if (it == serial->end()) {
                continue;
            }
            std::optional<SerialValue> value;
            if (it->is_string()) {
                value = serialFromDigits(it->get<std::string>());
            }
            if (!value) {
                *fault = std::string("serial \"") + key +
                         "\" must be a string of 1 to 16 decimal digits";
                return std::nullopt;
            }
            *target = *value;
        }
        if (setup.serialIncrement.high == 0 && setup.serialIncrement.low == 0) {
            *fault = "serial \"increment\" must not be zero";
            return std::nullopt;
        }
    }
    return setup;
}

}  // namespace

std::optional<LineSetup> loadLineFile(const std::string& path, std::string* error) {
    std::error_code ec;
    fs::path file = fs::absolute(path, ec);
    if (ec) {
        file = path;
    }
    file = file.lexically_normal();
    auto fail = [&](const std::string& fault) -> std::optional<LineSetup> {
        if (error) {
            *error = "Line file " + file.string() + ": " + fault;
        }
        return std::nullopt;
    };
    // A FIFO or a device where the file should be is refused without waiting on it.
    std::vector<std::uint8_t> text;
    switch (readWholeFile(file.string(), text, kMaxLineFileBytes)) {
        case ReadResult::Ok:
            break;
        case ReadResult::OpenFailed:
            return fail("cannot be read");
        case ReadResult::TooLarge:
            return fail("is too large");
        case ReadResult::NotRegular:
            return fail("is not a regular file");
    }
    Json root = Json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded()) {
        return fail("is not valid JSON");
    }
    std::string fault;
    auto setup = parse(root, file, &fault);
    if (!setup) {
        return fail(fault);
    }
    return setup;
}

}  // namespace tarnel

#include "core/production_record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnel {

namespace {

using nlohmann::json;

constexpr std::string_view kFilePrefix = "production-";
constexpr std::string_view kFileSuffix = ".jsonl";
constexpr std::size_t kDateLength = 10;  // YYYY-MM-DD
// No entry comes near this; a longer line is not one of ours.
constexpr std::size_t kMaxLineLength = 64 * 1024;

bool isRecordFileName(const std::string& name) {
    if (name.size() != kFilePrefix.size() + kDateLength + kFileSuffix.size() ||
        name.compare(0, kFilePrefix.size(), kFilePrefix) != 0 ||
        name.compare(name.size() - kFileSuffix.size(), kFileSuffix.size(), kFileSuffix) != 0)
        return false;
    const std::string date = name.substr(kFilePrefix.size(), kDateLength);
    for (std::size_t i = 0; i < date.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? date[i] != '-' : (date[i] < '0' || date[i] > '9'))
            return false;
    }
    return true;
}

std::string systemError(std::string_view what, int code) {
    return std::string(what) + ": " + std::strerror(code);
}

}  // namespace

std::string recordFileNameFor(std::string_view isoTime) {
    return std::string(kFilePrefix) + std::string(isoTime.substr(0, kDateLength)) +
           std::string(kFileSuffix);
}

std::string recordLine(const ChipOutcome& o) {
    json images = json::array();
    for (const ImageSummary& image : o.images) {
        images.push_back({{"region", image.region},
                          {"name", image.name},
                          {"size", image.size},
                          {"checksum", image.checksum}});
    }
    json entry = {
        {"time", o.time},
        {"host", o.hostName},
        {"operation", operationName(o.operation)},
        {"port", o.port},
        {"programmer", o.programmerKind},
        {"firmware", o.firmwareVersion},
        {"socket", o.socket},
        {"part", o.partNumber},
        {"project", o.projectFile},
        {"images", images},
        {"serial", o.serialNumber},
        {"counter", o.chipCounter ? json(*o.chipCounter) : json(nullptr)},
        {"outcome", outcomeName(o.outcome)},
        {"class", failureClassName(o.failureClass)},
        {"failure", o.failureText},
        {"duration_ms", o.durationMs},
    };
    // Only entries made on a line name a station; the entries of one programmer stay as
    // they always were.
    if (!o.station.empty())
        entry["station"] = o.station;
    // File names need not be valid UTF-8; such bytes are replaced rather than refused.
    return entry.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<ChipOutcome> parseRecordLine(std::string_view line, std::string* error) {
    const json entry = json::parse(line.begin(), line.end(), nullptr, false);
    auto fail = [error](std::string reason) -> std::optional<ChipOutcome> {
        if (error != nullptr)
            *error = std::move(reason);
        return std::nullopt;
    };
    if (entry.is_discarded())
        return fail("not a JSON object");
    if (!entry.is_object())
        return fail("not a JSON object");
    try {
        ChipOutcome o;
        const auto operation = operationNamed(entry.at("operation").get<std::string>());
        const auto outcome = outcomeNamed(entry.at("outcome").get<std::string>());
        const auto failureClass = failureClassNamed(entry.at("class").get<std::string>());
        if (!operation || !outcome || !failureClass)
            return fail("unknown operation, outcome or class");
        o.operation = *operation;
        o.outcome = *outcome;
        o.failureClass = *failureClass;
        o.time = entry.at("time").get<std::string>();
        if (o.time.size() < kDateLength)
            return fail("time is not an ISO 8601 date and time");
        o.hostName = entry.at("host").get<std::string>();
        o.port = entry.at("port").get<std::string>();
        o.programmerKind = entry.at("programmer").get<std::string>();
        o.firmwareVersion = entry.at("firmware").get<std::string>();
        o.socket = entry.at("socket").get<int>();
        o.partNumber = entry.at("part").get<std::string>();
        o.projectFile = entry.at("project").get<std::string>();
        for (const json& image : entry.at("images")) {
            o.images.push_back(
                {image.at("region").get<std::string>(), image.at("name").get<std::string>(),
                 image.at("size").get<std::uint32_t>(), image.at("checksum").get<std::uint32_t>()});
        }
        o.serialNumber = entry.at("serial").get<std::string>();
        if (!entry.at("counter").is_null())
            o.chipCounter = entry.at("counter").get<std::uint32_t>();
        o.failureText = entry.at("failure").get<std::string>();
        o.durationMs = entry.at("duration_ms").get<std::int64_t>();
        if (entry.contains("station"))
            o.station = entry.at("station").get<std::string>();
        return o;
    } catch (const json::exception& e) {
        return fail(std::string("bad entry: ") + e.what());
    }
}

bool recordKeeps(const ChipOutcome& outcome) {
    switch (outcome.operation) {
        case ChipOperation::Update:
        case ChipOperation::Verify:
        case ChipOperation::Read:
        case ChipOperation::ChipCheck:
            return outcome.failureClass == FailureClass::None ||
                   outcome.failureClass == FailureClass::Chip ||
                   outcome.failureClass == FailureClass::Link;
        case ChipOperation::Download:
        case ChipOperation::Information:
            return false;
    }
    return false;
}

// Why appending is safe without the temporary-file-and-rename used for whole files: the
// file is opened with O_APPEND and each entry goes out in one write() of the whole line,
// so entries of two writers never interleave and an entry never overwrites an earlier one;
// fdatasync then puts it on the disk before the caller goes on to show the result. Only a
// power cut or a kill in the middle of that one write can leave a part of a line, and only
// at the end of the file: the reader skips such a line, and the next writer starts on a
// fresh line, so the fragment never swallows a good entry.
bool appendRecordLine(const std::string& path, std::string_view line, std::string* error) {
    auto fail = [error](std::string reason) {
        if (error != nullptr)
            *error = std::move(reason);
        return false;
    };
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
#if defined(_WIN32)
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    // O_NONBLOCK: a FIFO in the file's place must not hold the station up (regular files
    // ignore it); fstat then refuses anything but a regular file.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
#endif
    if (fd < 0)
        return fail(systemError(path + " cannot be opened", errno));
    if (struct stat info{}; ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
#if defined(_WIN32)
        _close(fd);
#else
        ::close(fd);
#endif
        return fail(path + " cannot be written: not a regular file");
    }
    std::string text;
    text.reserve(line.size() + 2);
    // A line cut short by an earlier writer is closed first, so this entry stands alone.
    {
        std::ifstream existing(path, std::ios::binary | std::ios::ate);
        const auto size = existing ? static_cast<std::streamoff>(existing.tellg()) : 0;
        if (size > 0) {
            existing.seekg(size - 1);
            if (existing.get() != '\n')
                text += '\n';
        }
    }
    text.append(line);
    text += '\n';
#if defined(_WIN32)
    int written = _write(fd, text.data(), static_cast<unsigned>(text.size()));
    const int writeErrno = errno;
    const bool synced = written == static_cast<int>(text.size()) && _commit(fd) == 0;
    const int syncErrno = errno;
    _close(fd);
#else
    ssize_t written = -1;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    const int writeErrno = errno;
    const bool synced = written == static_cast<ssize_t>(text.size()) && ::fdatasync(fd) == 0;
    const int syncErrno = errno;
    ::close(fd);
#endif
    if (written != static_cast<decltype(written)>(text.size()))
        return fail(systemError(path + " cannot be written", written < 0 ? writeErrno : EIO));
    if (!synced)
        return fail(systemError(path + " cannot be synced", syncErrno));
#if !defined(_WIN32)
    // A new day's file: its name in the directory must reach the disk as well.
    if (!existed) {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        const int dir = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
#else
    (void)existed;
#endif
    return true;
}

ProductionRecord::ProductionRecord(std::function<std::string()> directory,
                                   std::function<void(const std::string&)> onError)
    : directory_(std::move(directory)), onError_(std::move(onError)) {}

void ProductionRecord::chipOutcome(const ChipOutcome& outcome) {
    const std::string directory = directory_();
    if (directory.empty() || !recordKeeps(outcome))
        return;  // no working directory yet: nowhere the record belongs
    const std::filesystem::path path =
        std::filesystem::path(directory) / recordFileNameFor(outcome.time);
    std::string error;
    std::lock_guard lock(mutex_);
    if (!appendRecordLine(path.string(), recordLine(outcome), &error) && onError_)
        onError_(error);
}

RecordContents readRecord(const std::string& directory) {
    namespace fs = std::filesystem;
    RecordContents contents;
    std::vector<fs::path> files;
    std::error_code code;
    for (fs::directory_iterator it(directory, code), end; !code && it != end; it.increment(code)) {
        if (!isRecordFileName(it->path().filename().string()))
            continue;
        // A FIFO or device under a record's name would block the read: name it instead.
        std::error_code kind;
        if (it->is_regular_file(kind))
            files.push_back(it->path());
        else
            contents.problems.push_back({it->path().filename().string(), 0, "not a regular file"});
    }
    if (code)
        contents.problems.push_back({directory, 0, code.message()});
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            contents.problems.push_back({name, 0, "cannot be opened"});
            continue;
        }
        std::string line;
        std::size_t number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (in.eof()) {
                // No line end: a writer stopped in the middle of this entry.
                if (!line.empty())
                    contents.problems.push_back({name, number, "entry cut short; skipped"});
                break;
            }
            if (line.empty())
                continue;
            if (line.size() > kMaxLineLength) {
                contents.problems.push_back({name, number, "line too long; skipped"});
                continue;
            }
            std::string error;
            if (auto entry = parseRecordLine(line, &error))
                contents.entries.push_back(std::move(*entry));
            else
                contents.problems.push_back({name, number, error + "; skipped"});
        }
    }
    return contents;
}

}  // namespace tarnel

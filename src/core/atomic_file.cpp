#include "core/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#if defined(_WIN32)
#include <io.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnel {

namespace {

void setError(std::string* error, std::string_view what, int code) {
    if (error == nullptr)
        return;
    *error = std::string(what);
    if (code != 0)
        *error += std::string(": ") + std::strerror(code);
}

// A name beside the target that no other writer, in this process or another, will pick.
std::string temporaryNameFor(const std::string& path, int attempt) {
    static std::atomic<unsigned> counter{0};
#if defined(_WIN32)
    const long pid = static_cast<long>(_getpid());
#else
    const long pid = static_cast<long>(getpid());
#endif
    return path + ".tmp" + std::to_string(pid) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt);
}

// True when the writer that made a temporary name may still be at work: its process lives
// (on Windows, where that is not asked, a file touched in the last hour counts as live).
bool writerMayLive(long pid, const std::filesystem::path& file) {
#if defined(_WIN32)
    (void)pid;
    std::error_code code;
    const auto when = std::filesystem::last_write_time(file, code);
    return code || std::filesystem::file_time_type::clock::now() - when < std::chrono::hours(1);
#else
    (void)file;
    return pid == static_cast<long>(getpid()) || ::kill(static_cast<pid_t>(pid), 0) == 0 ||
           errno == EPERM;
#endif
}

// Removes temporary files of this target left by a writer that was killed before its
// rename; those of a writer still at work are left alone.
void removeStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string prefix = target.filename().string() + ".tmp";
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code code;
    for (fs::directory_iterator it(directory, code), end; !code && it != end; it.increment(code)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string rest = name.substr(prefix.size());
        const auto dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos ||
            rest.find_first_not_of("0123456789") != dash || dash > 9)
            continue;
        if (!writerMayLive(std::stol(rest.substr(0, dash)), it->path())) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace

#if defined(_WIN32)

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* error) {
    removeStaleTemporaries(path);
    const std::string temp = temporaryNameFor(path, 0);
    {
        std::FILE* file = std::fopen(temp.c_str(), "wbx");
        if (file == nullptr) {
            setError(error, "cannot create " + temp, errno);
            return false;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                             std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
        const bool closed = std::fclose(file) == 0;
        if (!written || !closed) {
            setError(error, "cannot write " + temp, errno);
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code code;
    std::filesystem::rename(temp, path, code);
    if (code) {
        if (error != nullptr)
            *error = "cannot replace " + path + ": " + code.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

ReadResult readFileInPieces(const std::string& path, std::uint64_t maxBytes,
                            const PieceReader& take) {
    std::error_code code;
    if (!std::filesystem::exists(path, code))
        return ReadResult::OpenFailed;
    if (!std::filesystem::is_regular_file(path, code))
        return ReadResult::NotRegular;
    const auto size = std::filesystem::file_size(path, code);
    if (code)
        return ReadResult::OpenFailed;
    if (size > maxBytes)
        return ReadResult::TooLarge;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ReadResult::OpenFailed;
    std::vector<char> chunk(kPieceBytes);
    std::uint64_t total = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n == 0)
            break;
        total += n;
        if (total > maxBytes)
            return ReadResult::TooLarge;
        if (!take({reinterpret_cast<const std::uint8_t*>(chunk.data()), n}, size))
            break;
    }
    if (in.bad())
        return ReadResult::OpenFailed;
    return ReadResult::Ok;
}

#else

namespace {

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Makes the rename itself durable; a failure here does not undo a completed write.
void syncDirectory(const std::string& path) {
    const int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* error) {
    if (path.empty()) {
        setError(error, "no file name", 0);
        return false;
    }
    removeStaleTemporaries(path);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = temporaryNameFor(path, attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setError(error, "cannot create " + temp, errno);
        return false;
    }

    // A file that already stands keeps its permissions.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        (void)::fchmod(fd, existing.st_mode & 07777);
    }

    const bool written = writeAll(fd, bytes);
    int code = written ? 0 : errno;
    const bool synced = written && ::fsync(fd) == 0;
    if (written && !synced)
        code = errno;
    const bool closed = ::close(fd) == 0;
    if (synced && !closed)
        code = errno;
    if (!written || !synced || !closed) {
        setError(error, "cannot write " + temp, code);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        setError(error, "cannot replace " + path, errno);
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(path);
    return true;
}

ReadResult readFileInPieces(const std::string& path, std::uint64_t maxBytes,
                            const PieceReader& take) {
    // Anything but a regular file is refused before it is opened (opening a FIFO waits for
    // a writer, opening a device may act on it); O_NONBLOCK keeps the open from waiting if
    // the path is swapped for one in between, and fstat checks what was opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return ReadResult::NotRegular;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ReadResult::OpenFailed;
    const auto done = [fd](ReadResult result) {
        ::close(fd);
        return result;
    };
    if (::fstat(fd, &info) != 0)
        return done(ReadResult::OpenFailed);
    if (!S_ISREG(info.st_mode))
        return done(ReadResult::NotRegular);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxBytes)
        return done(ReadResult::TooLarge);
    // Read to the end rather than trusting the size, in case the file changes meanwhile,
    // but never past the limit.
    std::uint8_t chunk[kPieceBytes];
    std::uint64_t total = 0;
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done(ReadResult::OpenFailed);
        }
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
        if (total > maxBytes)
            return done(ReadResult::TooLarge);
        if (!take({chunk, static_cast<std::size_t>(n)}, size))
            break;
    }
    return done(ReadResult::Ok);
}

#endif

ReadResult readWholeFile(const std::string& path, std::vector<std::uint8_t>& out,
                         std::uint64_t maxBytes) {
    out.clear();
    return readFileInPieces(path, maxBytes,
                            [&out](std::span<const std::uint8_t> piece, std::uint64_t size) {
                                if (out.empty())
                                    out.reserve(static_cast<std::size_t>(size));
                                out.insert(out.end(), piece.begin(), piece.end());
                                return true;
                            });
}

namespace {

// The system's words for why path cannot be opened for reading now.
std::string openFailureReason(const std::string& path) {
    std::error_code code;
    if (!std::filesystem::exists(path, code))
        return code ? code.message()
                    : std::make_error_code(std::errc::no_such_file_or_directory).message();
    errno = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return "read error";
    }
    return errno != 0 ? std::strerror(errno) : "unreadable";
}

}  // namespace

std::string describeReadFailure(ReadResult result, const std::string& path) {
    switch (result) {
        case ReadResult::Ok:
            return path;
        case ReadResult::OpenFailed:
            return "cannot read " + path + ": " + openFailureReason(path);
        case ReadResult::TooLarge:
            return path + " is too large";
        case ReadResult::NotRegular:
            return path + " is not a regular file";
    }
    return path;
}

}  // namespace tarnel

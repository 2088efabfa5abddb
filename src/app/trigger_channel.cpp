#include "app/trigger_channel.h"

#include <cstdlib>
#include <cstring>

namespace tarnel {

std::string triggerRequestFor(std::string_view station) {
    if (station.empty())
        return kTriggerRequest;
    return "TRIGGER " + std::string(station) + "\n";
}

std::optional<std::string> parseTriggerRequest(std::string_view line) {
    if (line == kTriggerRequest)
        return std::string();
    constexpr std::string_view kNamed = "TRIGGER ";
    if (line.size() <= kNamed.size() + 1 || line.substr(0, kNamed.size()) != kNamed ||
        line.back() != '\n')
        return std::nullopt;
    std::string station(line.substr(kNamed.size(), line.size() - kNamed.size() - 1));
    if (station.find_first_of(" \r\n") != std::string::npos)
        return std::nullopt;
    return station;
}

}  // namespace tarnel

#if defined(_WIN32)
#include <windows.h>

#include <chrono>
#include <string_view>
#include <thread>

namespace tarnel {

// The window's local server is a named pipe on Windows: "\\.\pipe\" and the name.
std::string triggerSocketPath() {
    if (const char* path = std::getenv("TARNEL_TRIGGER_SOCKET"); path && *path)
        return path;
    const char* user = std::getenv("USERNAME");
    return std::string("tarnel-trigger-") + (user && *user ? user : "user");
}

TriggerSend sendTrigger(const std::string& socketPath, int timeoutMs, std::string_view station) {
    constexpr std::string_view kPipePrefix = "\\\\.\\pipe\\";
    const std::string pipe =
        socketPath.rfind(kPipePrefix, 0) == 0 ? socketPath : std::string(kPipePrefix) + socketPath;
    const HANDLE handle = ::CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return TriggerSend::NoWindow;
    struct Closer {
        HANDLE handle;
        ~Closer() { ::CloseHandle(handle); }
    } closer{handle};

    const std::string request = triggerRequestFor(station);
    const DWORD length = static_cast<DWORD>(request.size());
    DWORD written = 0;
    if (!::WriteFile(handle, request.data(), length, &written, nullptr) || written != length)
        return TriggerSend::NoAnswer;

    // A pipe read has no time-out of its own: look for the answer until the time is up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string answer;
    while (answer.find('\n') == std::string::npos) {
        DWORD available = 0;
        if (!::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr))
            return TriggerSend::NoAnswer;
        if (available == 0) {
            if (std::chrono::steady_clock::now() >= deadline)
                return TriggerSend::NoAnswer;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        char buffer[64];
        DWORD got = 0;
        if (!::ReadFile(handle, buffer, sizeof buffer, &got, nullptr) || got == 0)
            return TriggerSend::NoAnswer;
        answer.append(buffer, got);
    }
    if (answer == kTriggerRefused)
        return TriggerSend::Refused;
    return answer == kTriggerAccepted ? TriggerSend::Accepted : TriggerSend::NoAnswer;
}

struct TriggerListener::Impl {};

TriggerListener::TriggerListener() = default;
TriggerListener::~TriggerListener() = default;

bool TriggerListener::start(const std::string&, Handler, std::string* error) {
    if (error)
        *error = "the trigger channel of a line is not available on Windows";
    return false;
}

void TriggerListener::stop() {}

}  // namespace tarnel

#else
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace tarnel {

std::string triggerSocketPath() {
    if (const char* path = std::getenv("TARNEL_TRIGGER_SOCKET"); path && *path)
        return path;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tarnel-trigger";
    return "/tmp/tarnel-trigger-" + std::to_string(::getuid());
}

namespace {

// Closes a descriptor on every way out.
struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

TriggerSend sendTrigger(const std::string& socketPath, int timeoutMs, std::string_view station) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return TriggerSend::NoWindow;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    Socket socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (socket.fd < 0 ||
        ::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return TriggerSend::NoWindow;

    const std::string request = triggerRequestFor(station);
    if (::send(socket.fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        return TriggerSend::NoAnswer;

    std::string answer;
    pollfd waiting{socket.fd, POLLIN, 0};
    while (answer.find('\n') == std::string::npos) {
        if (::poll(&waiting, 1, timeoutMs) <= 0)
            return TriggerSend::NoAnswer;
        char buffer[64];
        const ssize_t got = ::recv(socket.fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return TriggerSend::NoAnswer;
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    if (answer == kTriggerRefused)
        return TriggerSend::Refused;
    return answer == kTriggerAccepted ? TriggerSend::Accepted : TriggerSend::NoAnswer;
}

struct TriggerListener::Impl {
    std::string path;
    Handler handler;
    Socket server;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread thread;

    ~Impl() {
        for (int fd : {wakeRead, wakeWrite})
            if (fd >= 0)
                ::close(fd);
    }

    // One request line from a client, read within a second; a client that sends nothing
    // useful is dropped.
    void serve(int client) {
        std::string line;
        pollfd waiting{client, POLLIN, 0};
        while (line.find('\n') == std::string::npos && line.size() < 256) {
            if (::poll(&waiting, 1, 1000) <= 0)
                return;
            char buffer[64];
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            line.append(buffer, static_cast<std::size_t>(got));
        }
        const auto station = parseTriggerRequest(line.substr(0, line.find('\n') + 1));
        if (!station)
            return;
        const char* answer = handler(*station) ? kTriggerAccepted : kTriggerRefused;
        ::send(client, answer, std::strlen(answer), MSG_NOSIGNAL);
    }

    void run() {
        pollfd waiting[2] = {{server.fd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        for (;;) {
            if (::poll(waiting, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (waiting[1].revents != 0)
                return;
            Socket client{::accept4(server.fd, nullptr, nullptr, SOCK_CLOEXEC)};
            if (client.fd >= 0)
                serve(client.fd);
        }
    }
};

TriggerListener::TriggerListener() = default;

TriggerListener::~TriggerListener() {
    stop();
}

bool TriggerListener::start(const std::string& socketPath, Handler handler, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "cannot listen on " + socketPath + ": " + why;
        impl_.reset();
        return false;
    };
    stop();
    impl_ = std::make_unique<Impl>();
    impl_->path = socketPath;
    impl_->handler = std::move(handler);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return fail("the path is too long");
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    // A socket file nobody answers on is left from a crashed run; a live one is not ours.
    {
        Socket probe{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
        if (probe.fd >= 0 &&
            ::connect(probe.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return fail("another window or line listens there");
    }
    ::unlink(socketPath.c_str());
    impl_->server.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->server.fd < 0 ||
        ::bind(impl_->server.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0 ||
        ::listen(impl_->server.fd, 8) != 0)
        return fail(std::strerror(errno));
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return fail(std::strerror(errno));
    impl_->wakeRead = pipeEnds[0];
    impl_->wakeWrite = pipeEnds[1];
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
    return true;
}

void TriggerListener::stop() {
    if (!impl_)
        return;
    if (impl_->thread.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(impl_->wakeWrite, &byte, 1);
        impl_->thread.join();
        ::unlink(impl_->path.c_str());
    }
    impl_.reset();
}

}  // namespace tarnel

#endif  // _WIN32

#include "app/trigger_channel.h"

#include <cstdlib>
#include <cstring>

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

TriggerSend sendTrigger(const std::string& socketPath, int timeoutMs) {
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

    const DWORD length = static_cast<DWORD>(std::strlen(kTriggerRequest));
    DWORD written = 0;
    if (!::WriteFile(handle, kTriggerRequest, length, &written, nullptr) || written != length)
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
    return answer == kTriggerAccepted ? TriggerSend::Accepted : TriggerSend::NoAnswer;
}

}  // namespace tarnel

#else
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

TriggerSend sendTrigger(const std::string& socketPath, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return TriggerSend::NoWindow;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    Socket socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (socket.fd < 0 ||
        ::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return TriggerSend::NoWindow;

    const std::size_t length = std::strlen(kTriggerRequest);
    if (::send(socket.fd, kTriggerRequest, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length))
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
    return answer == kTriggerAccepted ? TriggerSend::Accepted : TriggerSend::NoAnswer;
}

}  // namespace tarnel

#endif  // _WIN32

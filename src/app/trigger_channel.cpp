#include "app/trigger_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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

#pragma once
// The external trigger: a running window listens on a local socket, and `tarnel trigger`
// (or any script) connects and sends one line to start the chip check, as a production
// line's hardware would. A running line (`tarnel line run`) listens the same way and takes
// "TRIGGER <station>\n" to start that station's next update.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarnel {

// The line a trigger sends, and the line the window answers once it has taken it.
inline constexpr const char* kTriggerRequest = "TRIGGER\n";
inline constexpr const char* kTriggerAccepted = "ACCEPTED\n";
// A line's answer when the named station cannot start now (unknown, busy, stopped).
inline constexpr const char* kTriggerRefused = "REFUSED\n";

// "TRIGGER\n", or "TRIGGER <station>\n" for one station of a line.
std::string triggerRequestFor(std::string_view station);
// The station a request line names ("" for the plain trigger); empty when the line is not a
// trigger request.
std::optional<std::string> parseTriggerRequest(std::string_view line);

// Where the window listens: $TARNEL_TRIGGER_SOCKET when set, else "tarnel-trigger" in
// $XDG_RUNTIME_DIR, else "/tmp/tarnel-trigger-<uid>".
std::string triggerSocketPath();

enum class TriggerSend { Accepted, NoWindow, NoAnswer, Refused };

// Connects, sends the trigger (for one station when named) and waits up to timeoutMs for
// the answer.
TriggerSend sendTrigger(const std::string& socketPath, int timeoutMs,
                        std::string_view station = {});

// The listening end for a process without an event loop: a thread that accepts connections
// on the socket, reads one request line from each and answers it with what the handler says.
// POSIX only; start() fails elsewhere.
class TriggerListener {
  public:
    // Called on the listener's thread with the station named ("" for a plain trigger);
    // true accepts the trigger.
    using Handler = std::function<bool(const std::string& station)>;

    TriggerListener();
    ~TriggerListener();  // stops
    TriggerListener(const TriggerListener&) = delete;
    TriggerListener& operator=(const TriggerListener&) = delete;

    // Listens on socketPath (a socket file left by a crashed run is replaced, a live one is
    // not); false with the reason in *error.
    bool start(const std::string& socketPath, Handler handler, std::string* error);
    // Stops listening and removes the socket file.
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarnel

#pragma once
// The external trigger: a running window listens on a local socket, and `tarnel trigger`
// (or any script) connects and sends one line to start the chip check, as a production
// line's hardware would.

#include <string>

namespace tarnel {

// The line a trigger sends, and the line the window answers once it has taken it.
inline constexpr const char* kTriggerRequest = "TRIGGER\n";
inline constexpr const char* kTriggerAccepted = "ACCEPTED\n";

// Where the window listens: $TARNEL_TRIGGER_SOCKET when set, else "tarnel-trigger" in
// $XDG_RUNTIME_DIR, else "/tmp/tarnel-trigger-<uid>".
std::string triggerSocketPath();

enum class TriggerSend { Accepted, NoWindow, NoAnswer };

// Connects, sends the trigger and waits up to timeoutMs for the window's answer.
TriggerSend sendTrigger(const std::string& socketPath, int timeoutMs);

}  // namespace tarnel

#pragma once
// What the window's result panel shows, without a toolkit: the state of the last or running
// command in words, the last result's text with its detail line, the shift totals, the
// programmer found, and in gang mode each socket's last outcome. Fed on the window's thread
// by the window logic (commands starting and ending) and by the front's Operator (status
// texts and boxes as they are shown).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel {

enum class PanelState { Ready, Running, Pass, Fail, Warning };

// "Ready", "RUNNING", "PASS", "FAIL", "WARNING".
std::string_view panelStateWord(PanelState state);

struct SocketTile {
    PanelState state = PanelState::Ready;  // Ready until the socket's first outcome
    std::string serial;                    // "%08d,%08d" of the chip it programmed, or empty
    std::string failure;                   // the failure's text, empty on PASS
};

inline constexpr std::size_t kGangSockets = 4;

class ResultPanel {
  public:
    PanelState state() const { return state_; }
    // The command that runs or ran last, e.g. "Update Chip".
    const std::string& command() const { return command_; }
    // While running: the step the status line shows.
    const std::string& step() const { return step_; }
    // The last result box's text and its detail line; they stay after the box is closed.
    const std::string& resultText() const { return resultText_; }
    const std::string& detail() const { return detail_; }
    // The step that was running when the last FAIL or WARNING came, or empty.
    const std::string& failedStep() const { return failedStep_; }
    // The one line under the state word: "Update Chip: Update Chips (for APROM)..." while
    // running, the failed step after a failure, else empty.
    std::string stateLine() const;

    // Shift totals since start or the last reset: chips that passed and failed.
    std::uint32_t passed() const { return passed_; }
    std::uint32_t failed() const { return failed_; }
    // "Passed 12 · Failed 1 · Yield 92.3 %" (no yield before the first chip).
    std::string totalsText() const;
    void resetTotals();

    // "ttyUSB0 · ICP_Vexa · fw 0x0619" once a programmer answered, else empty.
    const std::string& programmer() const { return programmer_; }
    void setProgrammer(std::string line) { programmer_ = std::move(line); }

    const std::array<SocketTile, kGangSockets>& sockets() const { return sockets_; }

    // Events.
    void commandStarted(std::string_view command);
    // The command ended; a command that showed no result box leaves the panel Ready.
    void commandEnded();
    void statusShown(std::string_view text);
    void detailGiven(std::string_view detail) { pendingDetail_ = detail; }
    void resultShown(PanelState result, std::string_view text);
    // One chip's outcome: a programmed chip (counted) counts towards the totals; socket 1..4
    // also fills its tile (0 for a single programmer).
    void chipOutcome(int socket, bool passed, bool counted, std::string_view serial,
                     std::string_view failure);

  private:
    PanelState state_ = PanelState::Ready;
    std::string command_;
    std::string step_;
    std::string lastStep_;
    std::string resultText_;
    std::string detail_;
    std::string pendingDetail_;
    std::string failedStep_;
    std::string programmer_;
    std::uint32_t passed_ = 0;
    std::uint32_t failed_ = 0;
    std::array<SocketTile, kGangSockets> sockets_{};
};

}  // namespace tarnel

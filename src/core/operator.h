#pragma once
// The one interface through which everything below the window reports to the operator.
// The Qt window, the command line and the tests each provide one implementation.
//
// Call order for a command: setStatus / progress calls while it runs, then exactly one
// result box (showResultBox) or message box on the way out, then the progress reset.
// A call that opens a modal view returns only when the operator has closed it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/config_model.h"
#include "core/read_back.h"

namespace tarnel {

enum class BeepKind {
    Default,  // plain beep that comes with a PASS box
    Error,    // error beep that comes with a FAIL box
};

enum class ResultKind { Pass, Fail };

enum class BoxIcon { None, Information, Warning, Error };

class Operator {
  public:
    virtual ~Operator() = default;

    // Status line under the window.
    virtual void setStatus(std::string_view text) = 0;

    // Progress bar: range 0..maximum, step size, position, and one step.
    virtual void setProgressRange(int maximum) = 0;
    virtual void setProgressStep(int step) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void stepProgress() = 0;

    // The port box (port name without its device prefix) and the "Prog. Type" label.
    virtual void setPortText(std::string_view text) = 0;
    virtual void setProgrammerTypeLabel(std::string_view text) = 0;

    virtual void beep(BeepKind kind) = 0;

    // Modal PASS or FAIL box. With autoClose the box closes itself after 500 ms
    // (production mode), so the next chip can follow.
    virtual void showResultBox(ResultKind kind, std::string_view text, bool autoClose) = 0;

    // A smaller line under the next box's text where the system knows more than the box
    // says: a HEX file's line and reason, a path with the system's error, a port name. It
    // goes with the next box only; the box's own text stays as it is. A front that shows
    // no details ignores it.
    virtual void setDetail(std::string_view detail) { (void)detail; }

    // Modal plain message box with a caption ("WARNING", "ERROR", "<Debug>", ...).
    virtual void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) = 0;

    // Modal "Select Chip in the Sockets": returns the gang socket chosen (1..4); closing the
    // box other than by OK returns `current` unchanged.
    virtual int chooseSocket(int current) = 0;

    // The modal read-back viewer ("Read Chip") over what the last read left, for the part
    // at partIndex; returns when the operator closes it.
    virtual void showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) = 0;

    // A CONFIG editor of the given layout opened read-only over `bytes` (arranged as the
    // job's configBytes) for the part at partIndex; returns when closed.
    virtual void showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                                const std::array<std::uint8_t, 8>& bytes) = 0;
};

// Composite behaviours shared by every front.

// Progress bar back to 0..100, step 1, position 0; status "Ready...".
void resetProgress(Operator& op);

// Error beep, progress reset, then the modal FAIL box, with a detail line when given.
void showFail(Operator& op, std::string_view text, std::string_view detail = {});

// Default beep, progress reset, then the modal PASS box (self-closing in production mode).
void showPass(Operator& op, std::string_view text, bool productionMode);

// "WARNING" box with the exclamation icon, then the progress reset.
void showWarning(Operator& op, std::string_view text, std::string_view detail = {});

// "ERROR" box for invalid field input.
void showError(Operator& op, std::string_view text);

// A plain "<Debug>" box.
void debugMessage(Operator& op, std::string_view text);

}  // namespace tarnel

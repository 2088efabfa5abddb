#pragma once
// The Operator of the command line. Result and message boxes become lines on the terminal
// (PASS on standard output, everything else on standard error). Status lines are printed as
// they change; on a terminal a progress bar follows them on one line. Modal questions take
// their non-interactive answers: a warning simply continues, as the operator's OK would.
//
// In JSON mode every call becomes one JSON object on its own line of standard output instead
// (an event: status, progress, port, programmer, box, readback, config, socket), for scripts.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "core/operator.h"

namespace tarnel::cli {

class ConsoleOperator : public Operator {
  public:
    ConsoleOperator();

    void setStatus(std::string_view text) override;
    void setProgressRange(int maximum) override;
    void setProgressStep(int step) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setPortText(std::string_view text) override;
    void setProgrammerTypeLabel(std::string_view text) override;
    void beep(BeepKind) override {}
    void setDetail(std::string_view detail) override;
    void showResultBox(ResultKind kind, std::string_view text, bool autoClose) override;
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) override;
    int chooseSocket(int current) override;
    void showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) override;
    void showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                        const std::array<std::uint8_t, 8>& bytes) override;

    // Status lines and the progress bar are printed only when verbose (default on).
    void setVerbose(bool verbose) { verbose_ = verbose; }
    // Events instead of human lines.
    void setJson(bool json) { json_ = json; }
    bool json() const { return json_; }
    // Writes one event line: the object with "event" set to `name` first.
    void emitEvent(std::string_view name, const nlohmann::json& fields);

    // The socket that the socket choice answers (0: keep the current one).
    void setSocket(int socket) { socket_ = socket; }
    // Where the read-back viewer saves the regions it shows (empty: nothing is saved).
    void setReadBackDirectory(std::string directory) { readBackDirectory_ = std::move(directory); }

    // Counts of result boxes, for the exit status.
    int passCount() const { return passes_; }
    int failCount() const { return fails_; }
    int warningCount() const { return warnings_; }
    // Read-back regions that could not be saved.
    int saveFailures() const { return saveFailures_; }

  private:
    void printDetail();
    void drawBar();
    void endBarLine();

    bool verbose_ = true;
    bool json_ = false;
    bool terminal_ = false;
    bool barShown_ = false;
    int maximum_ = 100;
    int step_ = 1;
    int position_ = 0;
    int socket_ = 0;
    std::string readBackDirectory_;
    std::string lastPort_;
    int passes_ = 0;
    std::string detail_;  // for the next box
    int fails_ = 0;
    int warnings_ = 0;
    int saveFailures_ = 0;
};

}  // namespace tarnel::cli

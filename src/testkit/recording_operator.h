#pragma once
// An Operator that records every call as a line of text, for tests and scripted runs.
// Thread-safe: a worker thread may report while the test thread reads.

#include <mutex>
#include <string>
#include <vector>

#include "core/operator.h"

namespace tarnel {

class RecordingOperator : public Operator {
  public:
    void setStatus(std::string_view text) override;
    void setProgressRange(int maximum) override;
    void setProgressStep(int step) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setPortText(std::string_view text) override;
    void setProgrammerTypeLabel(std::string_view text) override;
    void beep(BeepKind kind) override;
    void setDetail(std::string_view detail) override;
    void showResultBox(ResultKind kind, std::string_view text, bool autoClose) override;
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) override;
    int chooseSocket(int current) override;
    void showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) override;
    void showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                        const std::array<std::uint8_t, 8>& bytes) override;

    // The socket the next chooseSocket answers (0: keep the current one).
    void setSocketAnswer(int socket);
    // Copies of what the modal views were shown, in order.
    std::vector<ReadBackState> readBacks() const;
    struct ConfigView {
        ConfigLayout layout;
        std::uint32_t partIndex;
        std::array<std::uint8_t, 8> bytes;
    };
    std::vector<ConfigView> configViews() const;

    // Every call so far, e.g. "status: Ready...", "FAIL: Programmer is not found !",
    // "box WARNING: ...", "progress range 100".
    std::vector<std::string> events() const;
    // How many of the events so far are exactly `event`.
    int eventCount(const std::string& event) const;
    // Only the result and message boxes, e.g. "PASS: ...", "FAIL: ...", "WARNING: ...".
    std::vector<std::string> boxes() const;
    std::string lastStatus() const;
    // The detail lines given, in order.
    std::vector<std::string> details() const;
    std::string portText() const;
    std::string programmerTypeLabel() const;
    int progressPosition() const;
    int progressMaximum() const;
    int stepCount() const;  // number of stepProgress calls
    void clear();

  private:
    void record(std::string line);

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::string> boxes_;
    std::vector<std::string> details_;
    std::string status_;
    std::string port_;
    std::string typeLabel_;
    int position_ = 0;
    int maximum_ = 100;
    int step_ = 1;
    int steps_ = 0;
    int socketAnswer_ = 0;
    std::vector<ReadBackState> readBacks_;
    std::vector<ConfigView> configViews_;
};

}  // namespace tarnel

#pragma once
// The Operator of the command line: status lines and result boxes as lines of text, a
// progress bar when standard error is a terminal. Remembers whether a FAIL or WARNING was
// shown, which decides the exit status.

#include <iosfwd>

#include "core/operator.h"

namespace tarnel::cli {

class TerminalOperator : public Operator {
  public:
    TerminalOperator(std::ostream& out, std::ostream& err, bool progressBar);

    void setStatus(std::string_view text) override;
    void setProgressRange(int maximum) override;
    void setProgressStep(int step) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setPortText(std::string_view text) override;
    void setProgrammerTypeLabel(std::string_view text) override;
    void beep(BeepKind kind) override;
    void showResultBox(ResultKind kind, std::string_view text, bool autoClose) override;
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) override;

    bool failed() const { return failed_; }

  private:
    void drawBar();
    void endBar();

    std::ostream& out_;
    std::ostream& err_;
    bool progressBar_;
    bool barShown_ = false;
    bool failed_ = false;
    int maximum_ = 100;
    int step_ = 1;
    int position_ = 0;
};

}  // namespace tarnel::cli

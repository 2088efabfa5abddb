#pragma once
// The Operator of the command line: result and message boxes become lines on the terminal
// (PASS on standard output, everything else on standard error); status and progress are
// not shown.

#include "core/operator.h"

namespace tarnel::cli {

class ConsoleOperator : public Operator {
  public:
    void setStatus(std::string_view) override {}
    void setProgressRange(int) override {}
    void setProgressStep(int) override {}
    void setProgressPosition(int) override {}
    void stepProgress() override {}
    void setPortText(std::string_view) override {}
    void setProgrammerTypeLabel(std::string_view) override {}
    void beep(BeepKind) override {}
    void showResultBox(ResultKind kind, std::string_view text, bool autoClose) override;
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) override;
};

}  // namespace tarnel::cli

#include "core/operator.h"

namespace tarnel {

void resetProgress(Operator& op) {
    op.setProgressRange(100);
    op.setProgressStep(1);
    op.setProgressPosition(0);
    op.setStatus("Ready...");
}

void showFail(Operator& op, std::string_view text, std::string_view detail) {
    resetProgress(op);
    op.beep(BeepKind::Error);
    if (!detail.empty())
        op.setDetail(detail);
    op.showResultBox(ResultKind::Fail, text, false);
}

void showPass(Operator& op, std::string_view text, bool productionMode) {
    resetProgress(op);
    op.beep(BeepKind::Default);
    op.showResultBox(ResultKind::Pass, text, productionMode);
}

void showWarning(Operator& op, std::string_view text, std::string_view detail) {
    if (!detail.empty())
        op.setDetail(detail);
    op.showMessageBox("WARNING", text, BoxIcon::Warning);
    resetProgress(op);
}

void showError(Operator& op, std::string_view text) {
    op.showMessageBox("ERROR", text, BoxIcon::Error);
}

void debugMessage(Operator& op, std::string_view text) {
    op.showMessageBox("<Debug>", text, BoxIcon::None);
}

}  // namespace tarnel

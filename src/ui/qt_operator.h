#pragma once
// The Operator of the Qt window. Calls made on the window's thread act at once. Calls from a
// command worker are carried to the window's thread as queued events, in the order made:
// status and progress calls return at once; a modal box or view blocks the worker until the
// operator closes it, and its answer travels back.
//
// When the window closes while a worker runs, dismiss() closes the box that is open and
// makes every later box return at once with its neutral answer, so the worker runs to its
// end while the window waits for it without blocking its own thread.

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "app/main_window_logic.h"
#include "core/operator.h"
#include "core/programming_job.h"

class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace tarnel::ui {

class QtOperator : public QObject, public Operator {
    Q_OBJECT
  public:
    explicit QtOperator(QObject* parent = nullptr);

    // The window's controls the operator drives; the parent of its boxes.
    void attach(QWidget* window, ProgrammingJob* job, QLabel* status, QProgressBar* progress,
                QLineEdit* port, QLabel* programmerType);
    // Called on the window's thread when a PASS box opens in production mode.
    void setProductionPassHook(std::function<void()> hook) { productionPass_ = std::move(hook); }
    // The window's logic hears every status text and box as it is shown, on the window's
    // thread; `changed` runs after each so the window can show the new panel.
    void setPanelFeed(MainWindowLogic* logic, std::function<void()> changed) {
        logic_ = logic;
        panelChanged_ = std::move(changed);
    }

    void dismiss();
    bool dismissed() const;

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

  private:
    bool onWindowThread() const;
    // Runs a call on the window's thread without waiting.
    void post(std::function<void()> call);
    // Runs a modal call on the window's thread and waits for it; `fallback` when dismissed.
    int runModal(const std::function<int()>& call, int fallback);
    // Shows a dialog modally unless the operator was dismissed; rejected by dismiss().
    int execDialog(QDialog& dialog);
    // The read-only CONFIG editor of a part over eight CONFIG bytes; 0 when it has none.
    int execConfigView(std::optional<ConfigLayout> layout, std::uint32_t partIndex,
                       const std::array<std::uint8_t, 8>& bytes);

    // Tells the logic of a result box about to open, and takes the detail that goes with it.
    QString resultOpening(PanelState state, const QString& text);

    MainWindowLogic* logic_ = nullptr;
    std::function<void()> panelChanged_;
    QString pendingDetail_;  // for the next box; the window's thread only
    QPointer<QWidget> window_;
    QPointer<QLabel> status_;
    QPointer<QProgressBar> progress_;
    QPointer<QLineEdit> port_;
    QPointer<QLabel> programmerType_;
    int step_ = 1;
    std::function<void()> productionPass_;
    ProgrammingJob* job_ = nullptr;
    std::vector<QPointer<QDialog>> openDialogs_;

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    bool dismissed_ = false;
};

}  // namespace tarnel::ui

#include "ui/qt_operator.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <memory>

#include "ui/config_dialog.h"
#include "ui/read_back_viewer.h"
#include "ui/result_dialog.h"
#include "ui/socket_choice_dialog.h"

namespace tarnel::ui {

namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon iconOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtOperator::QtOperator(QObject* parent) : QObject(parent) {}

void QtOperator::attach(QWidget* window, ProgrammingJob* job, QLabel* status,
                        QProgressBar* progress, QLineEdit* port, QLabel* programmerType) {
    window_ = window;
    job_ = job;
    status_ = status;
    progress_ = progress;
    port_ = port;
    programmerType_ = programmerType;
}

bool QtOperator::onWindowThread() const {
    return QThread::currentThread() == thread();
}

void QtOperator::post(std::function<void()> call) {
    if (onWindowThread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

int QtOperator::runModal(const std::function<int()>& call, int fallback) {
    if (onWindowThread())
        return dismissed() ? fallback : call();

    struct Pending {
        bool started = false;
        bool done = false;
        int answer = 0;
    };
    auto pending = std::make_shared<Pending>();
    // A call that has not started when the operator is dismissed is skipped, and the worker
    // goes on at once. A call already running keeps the worker waiting until it returns
    // (dismiss() closes its box), since the call still uses what the worker handed it.
    QMetaObject::invokeMethod(
        this,
        [this, pending, &call] {
            {
                std::lock_guard lock(mutex_);
                if (dismissed_)
                    return;
                pending->started = true;
            }
            const int answer = call();
            std::lock_guard lock(mutex_);
            pending->answer = answer;
            pending->done = true;
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return pending->done || (dismissed_ && !pending->started); });
    return pending->done ? pending->answer : fallback;
}

int QtOperator::execDialog(QDialog& dialog) {
    if (dismissed())
        return QDialog::Rejected;
    openDialogs_.emplace_back(&dialog);
    const int result = dialog.exec();
    std::erase_if(openDialogs_, [&](const QPointer<QDialog>& d) { return d == &dialog || !d; });
    return result;
}

int QtOperator::execConfigView(std::optional<ConfigLayout> layout, std::uint32_t partIndex,
                               const std::array<std::uint8_t, 8>& bytes) {
    if (!job_)
        return 0;
    const auto dialog = ConfigDialog::open(*job_, partIndex, true, &bytes, layout, window_);
    return dialog ? execDialog(*dialog) : 0;
}

void QtOperator::dismiss() {
    {
        std::lock_guard lock(mutex_);
        dismissed_ = true;
    }
    answered_.notify_all();
    for (const QPointer<QDialog>& dialog : openDialogs_) {
        if (dialog)
            dialog->reject();
    }
}

bool QtOperator::dismissed() const {
    std::lock_guard lock(mutex_);
    return dismissed_;
}

void QtOperator::setStatus(std::string_view text) {
    post([this, t = toQString(text)] {
        if (status_)
            status_->setText(t);
    });
}

void QtOperator::setProgressRange(int maximum) {
    post([this, maximum] {
        if (progress_)
            progress_->setRange(0, maximum);
    });
}

void QtOperator::setProgressStep(int step) {
    post([this, step] { step_ = step; });
}

void QtOperator::setProgressPosition(int position) {
    post([this, position] {
        if (progress_)
            progress_->setValue(position);
    });
}

void QtOperator::stepProgress() {
    post([this] {
        if (progress_)
            progress_->setValue(std::min(progress_->maximum(), progress_->value() + step_));
    });
}

void QtOperator::setPortText(std::string_view text) {
    post([this, t = toQString(text)] {
        if (port_)
            port_->setText(t);
    });
}

void QtOperator::setProgrammerTypeLabel(std::string_view text) {
    post([this, t = toQString(text)] {
        if (programmerType_)
            programmerType_->setText(t);
    });
}

void QtOperator::beep(BeepKind) {
    post([] { QApplication::beep(); });
}

void QtOperator::showResultBox(ResultKind kind, std::string_view text, bool autoClose) {
    const QString message = toQString(text);
    runModal(
        [&] {
            ResultDialog dialog(kind, message, window_);
            if (autoClose && kind == ResultKind::Pass && productionPass_)
                productionPass_();
            return execDialog(dialog);
        },
        0);
}

void QtOperator::showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) {
    const QString title = toQString(caption);
    const QString message = toQString(text);
    runModal(
        [&] {
            QMessageBox box(iconOf(icon), title, message, QMessageBox::Ok, window_);
            return execDialog(box);
        },
        0);
}

int QtOperator::chooseSocket(int current) {
    return runModal(
        [&] {
            SocketChoiceDialog dialog(current, window_);
            execDialog(dialog);
            return dialog.socket();
        },
        current);
}

void QtOperator::showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) {
    runModal(
        [&] {
            const std::uint32_t ldromLast =
                job_ ? job_->catalogue.partAt(partIndex).ldromLastAddress : 0;
            ReadBackViewer viewer(readBack, ldromLast, window_);
            const auto chipConfig = readBack.config;
            // "Show CONFIG": the part's usual editor over the chip's CONFIG words.
            viewer.setShowConfig(
                [this, partIndex, chipConfig] { execConfigView({}, partIndex, chipConfig); });
            return execDialog(viewer);
        },
        0);
}

void QtOperator::showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                                const std::array<std::uint8_t, 8>& bytes) {
    runModal([&] { return execConfigView(layout, partIndex, bytes); }, 0);
}

}  // namespace tarnel::ui

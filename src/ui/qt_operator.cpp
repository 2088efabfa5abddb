#include "ui/qt_operator.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <memory>
#include <utility>

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

// A text whose lines are "label<TAB>value" as a two-column table, so every value starts at
// the same place whatever the label's width in a proportional font.
QString tabbedAsTable(const QString& text) {
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        const QString label = (tab < 0 ? line : line.left(tab)).trimmed().toHtmlEscaped();
        const QString value =
            tab < 0 ? QString() : line.mid(tab).remove(QLatin1Char('\t')).toHtmlEscaped();
        if (tab < 0)
            html += QStringLiteral("<tr><td colspan=\"2\">%1&nbsp;</td></tr>").arg(label);
        else
            html += QStringLiteral(
                        "<tr><td style=\"padding-left: 24px; padding-right: 12px\">%1"
                        "</td><td>%2</td></tr>")
                        .arg(label, value);
    }
    return html + QStringLiteral("</table>");
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
        if (logic_) {
            logic_->statusShown(t.toStdString());
            panelChanged_();
        }
    });
}

void QtOperator::setDetail(std::string_view detail) {
    post([this, d = toQString(detail)] {
        pendingDetail_ = d;
        if (logic_)
            logic_->detailShown(d.toStdString());
    });
}

QString QtOperator::resultOpening(PanelState state, const QString& text) {
    if (logic_) {
        logic_->resultShown(state, text.toStdString());
        panelChanged_();
    }
    return std::exchange(pendingDetail_, QString());
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
            const QString detail = resultOpening(
                kind == ResultKind::Pass ? PanelState::Pass : PanelState::Fail, message);
            ResultDialog dialog(kind, message, window_, detail);
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
            const QString detail = title == QLatin1String("WARNING")
                                       ? resultOpening(PanelState::Warning, message)
                                       : std::exchange(pendingDetail_, QString());
            QMessageBox box(iconOf(icon), title, message, QMessageBox::Ok, window_);
            if (message.contains(QLatin1Char('\t'))) {
                box.setTextFormat(Qt::RichText);
                box.setText(tabbedAsTable(message));
            }
            box.setInformativeText(detail);
            fitTitle(&box);
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

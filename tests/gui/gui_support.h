#pragma once
// Helpers for the window's tests: handling the modal boxes a test provokes, and a window
// over a scratch working directory with simulated programmers on virtual time.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "support/scratch_dir.h"
#include "testkit/loopback_device.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"
#include "testkit/worker_clock.h"
#include "ui/main_window.h"

// gtest prints QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tarnel::testing {

// Calls `handle` with the next modal box that opens (on the window's thread); the handler
// closes it. Returns a flag that turns true once the box was handled.
inline std::shared_ptr<bool> whenModal(std::function<void(QWidget*)> handle,
                                       QWidget* ignore = nullptr) {
    auto handled = std::make_shared<bool>(false);
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, handle, handled, ignore] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box == ignore || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        handle(box);
        *handled = true;
    });
    timer->start();
    return handled;
}

// The text of a message box, or empty for any other widget.
inline QString boxText(QWidget* box) {
    auto* message = qobject_cast<QMessageBox*>(box);
    return message ? message->text() : QString();
}

inline void closeBox(QWidget* box) {
    if (auto* dialog = qobject_cast<QDialog*>(box))
        dialog->accept();
    else
        box->close();
}

// Closes every modal box that opens while it lives, and keeps "TITLE: text" of each.
class BoxCloser {
  public:
    BoxCloser() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box || !box->isVisible())
                return;
            seen.push_back(box->windowTitle() + ": " + boxText(box));
            closeBox(box);
        });
        timer_.start();
    }
    std::vector<QString> seen;

  private:
    QTimer timer_;
};

// Counts the top-level windows with a given title that are shown while it lives.
class ShowCounter : public QObject {
  public:
    explicit ShowCounter(QString title) : title_(std::move(title)) {
        qApp->installEventFilter(this);
    }
    ~ShowCounter() override { qApp->removeEventFilter(this); }
    int count() const { return count_; }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Show && widget && widget->isWindow() &&
            widget->windowTitle() == title_)
            ++count_;
        return false;
    }

  private:
    QString title_;
    int count_ = 0;
};

// A window on virtual time with loopback ports, over a scratch working directory.
class WindowBench {
  public:
    WindowBench() { ports.setTable({"\\\\.\\COM1"}); }
    ~WindowBench() {
        window.reset();
        devices.clear();
    }

    // Writes GUI.LOG from a job the caller prepares.
    void writeSettings(const std::function<void(ProgrammingJob&)>& prepare) {
        ProgrammingJob stored;
        prepare(stored);
        stored.setComPortName("\\\\.\\COM1");
        RecordingOperator op;
        stored.settingsFilePath = settingsPathIn(dir.path());
        saveSettings(stored, op);
    }

    void writeSettings(std::uint8_t type, std::uint32_t part) {
        writeSettings([&](ProgrammingJob& job) {
            job.programmerType = type;
            job.partIndex = part;
        });
    }

    // A simulated programmer behind "\\.\COM1".
    sim::LoopbackDevice& addDevice(const sim::Scenario& scenario) {
        devices.push_back(std::make_unique<sim::LoopbackDevice>(clock, scenario));
        ports.attach("\\\\.\\COM1", devices.back()->line());
        return *devices.back();
    }

    ui::MainWindow& start(const QString& triggerPath = {}) {
        window = std::make_unique<ui::MainWindow>(workerClock, ports);
        window->startUp(QString::fromStdString(dir.path()), triggerPath);
        window->show();
        return *window;
    }

    test::ScratchDir dir;
    VirtualClock clock;
    WorkerClock workerClock{clock};
    LoopbackPortFactory ports;
    std::vector<std::unique_ptr<sim::LoopbackDevice>> devices;
    std::unique_ptr<ui::MainWindow> window;
};

}  // namespace tarnel::testing

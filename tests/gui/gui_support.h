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
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <QBuffer>

#include "app/settings_file.h"
#include "core/atomic_file.h"
#include "support/scratch_dir.h"
#include "testkit/loopback_device.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"
#include "ui/main_window.h"

// gtest prints QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tarnel::testing {

// The screenshot cases are the engine of scripts/screenshots.sh, not tests: they run only
// when it names a directory for the pictures.
#define TARNEL_SCREENSHOTS_ONLY()                   \
    if (qgetenv("TARNEL_SCREENSHOT_DIR").isEmpty()) \
    GTEST_SKIP() << "screenshots are taken by scripts/screenshots.sh"

// Saves a grab of the widget as NAME.png (NAME@2x.png when drawn at twice the pixels) in
// TARNEL_SCREENSHOT_DIR.
inline void saveScreenshot(QWidget& widget, const QString& name) {
    const QPixmap picture = widget.grab();
    ASSERT_FALSE(picture.isNull()) << name.toStdString();
    const QByteArray directory = qgetenv("TARNEL_SCREENSHOT_DIR");
    if (directory.isEmpty())
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    const QString file = name + (picture.devicePixelRatio() > 1.5 ? "@2x.png" : ".png");
    const std::string path = directory.toStdString() + "/" + file.toStdString();
    EXPECT_TRUE(
        writeFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(png.constData()),
                                            static_cast<std::size_t>(png.size()))));
}

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

// The virtual clock as the window's workers use it. A thread that works between its waits
// must be a party of the clock, or time would run on while it works; the window's worker
// threads become parties at their first use of the clock, until they end. The window's own
// thread never does: it waits in its event loop, not on the clock.
class WorkerClock : public Clock {
  public:
    explicit WorkerClock(VirtualClock& clock) : clock_(clock) {}
    std::uint64_t nowMs() override {
        join();
        return clock_.nowMs();
    }
    void sleepMs(std::uint32_t ms) override {
        join();
        clock_.sleepMs(ms);
    }

  private:
    void join() {
        thread_local std::optional<VirtualClock::Participant> party;
        if (!party && std::this_thread::get_id() != windowThread_)
            party.emplace(clock_);
    }

    VirtualClock& clock_;
    std::thread::id windowThread_ = std::this_thread::get_id();
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

#pragma once
// Helpers for the window's tests: handling the modal boxes a test provokes, and a window
// over a scratch working directory with simulated programmers on virtual time.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdint>
#include <ostream>
#include <vector>

#include "support/scratch_dir.h"
#include "ui/testkit/loopback_window.h"
#include "ui/testkit/modal_box.h"

// gtest prints QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tarnel::testing {

// The text of a message box, or empty for any other widget.
inline QString boxText(QWidget* box) {
    auto* message = qobject_cast<QMessageBox*>(box);
    return message ? message->text() : QString();
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

// The scratch directory comes first, so that it outlives the window working in it.
struct ScratchHolder {
    test::ScratchDir dir;
};

// A window on virtual time with loopback ports, over a scratch working directory.
class WindowBench : public ScratchHolder, public LoopbackWindow {
  public:
    WindowBench() : LoopbackWindow(dir.path()) {}

    using LoopbackWindow::writeSettings;
    void writeSettings(std::uint8_t type, std::uint32_t part) {
        writeSettings([&](ProgrammingJob& job) {
            job.programmerType = type;
            job.partIndex = part;
        });
    }
};

}  // namespace tarnel::testing

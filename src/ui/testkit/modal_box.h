#pragma once
// Handling the modal boxes a window opens while a test or a tool drives it.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

namespace tarnel {

// Calls `handle` with the next modal box that opens (other than `ignore`), on the window's
// thread; the handler closes it. Returns a flag that turns true once the box was handled.
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

// Accepts a dialog; closes any other box.
inline void closeBox(QWidget* box) {
    if (auto* dialog = qobject_cast<QDialog*>(box))
        dialog->accept();
    else
        box->close();
}

}  // namespace tarnel

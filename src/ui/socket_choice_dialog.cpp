#include "ui/socket_choice_dialog.h"

#include "ui/result_dialog.h"

#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarnel::ui {

SocketChoiceDialog::SocketChoiceDialog(int current, QWidget* parent)
    : QDialog(parent), opened_(current >= 1 && current <= 4 ? current : 1) {
    setWindowTitle(QStringLiteral("Select Chip in the Sockets"));
    fitTitle(this);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 4; ++i) {
        radios_[static_cast<std::size_t>(i)] =
            new QRadioButton(QStringLiteral("Chip in socket #%1").arg(i + 1), this);
        layout->addWidget(radios_[static_cast<std::size_t>(i)]);
    }
    choose(opened_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setVisible(false);
    cancel->setEnabled(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok);
}

void SocketChoiceDialog::choose(int socket) {
    if (socket >= 1 && socket <= 4)
        radios_[static_cast<std::size_t>(socket - 1)]->setChecked(true);
}

int SocketChoiceDialog::socket() const {
    return result() == QDialog::Accepted ? selected() : opened_;
}

int SocketChoiceDialog::selected() const {
    for (int i = 0; i < 4; ++i) {
        if (radios_[static_cast<std::size_t>(i)]->isChecked())
            return i + 1;
    }
    return opened_;
}

}  // namespace tarnel::ui

#include "ui/result_dialog.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/pictures.h"

namespace tarnel::ui {

QString resultTimeText() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toString(QStringLiteral("yyyy-MM-dd_HH:mm:ss"));
}

ResultDialog::ResultDialog(ResultKind kind, const QString& text, QWidget* parent)
    : QDialog(parent) {
    const bool pass = kind == ResultKind::Pass;
    setWindowTitle(pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    setObjectName(pass ? QStringLiteral("PassDialog") : QStringLiteral("FailDialog"));

    auto* picture = new QLabel(this);
    picture->setPixmap(pass ? drawPassPicture() : drawFailPicture());
    message_ = new QLabel(text, this);
    message_->setWordWrap(true);
    message_->setMinimumSize(280, pass ? 80 : 64);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    time_ = new QLabel(resultTimeText(), this);
    time_->setEnabled(false);  // drawn greyed, as a footnote

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setVisible(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(time_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignLeft);
    layout->addWidget(message_);
    layout->addLayout(buttons);
}

QString ResultDialog::messageText() const {
    return message_->text();
}

QString ResultDialog::timeText() const {
    return time_->text();
}

}  // namespace tarnel::ui

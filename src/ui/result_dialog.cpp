#include "ui/result_dialog.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/pictures.h"

namespace tarnel::ui {

namespace {

// Room the title bar takes beside the title: the icon and the window buttons.
constexpr int kTitleBarExtra = 150;
// The widest a box's text goes before its lines wrap.
constexpr int kMaxTextWidth = 640;

}  // namespace

QString resultTimeText() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toString(QStringLiteral("yyyy-MM-dd_HH:mm:ss"));
}

void fitTitle(QWidget* dialog) {
    QFont font = dialog->font();
    font.setBold(true);  // title bars commonly draw bold
    const int width = QFontMetrics(font).horizontalAdvance(dialog->windowTitle()) + kTitleBarExtra;
    // A message box sizes itself from its layout and ignores a minimum width: widen that.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
        grid && qobject_cast<QMessageBox*>(dialog)) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
        return;
    }
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), width));
}

void keepLines(QLabel* label, int maxWidth) {
    int widest = 0;
    const QFontMetrics metrics(label->font());
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const bool fits = widest <= maxWidth;
    label->setWordWrap(!fits);
    label->setMinimumWidth(std::min(widest, maxWidth));
}

ResultDialog::ResultDialog(ResultKind kind, const QString& text, QWidget* parent,
                           const QString& detail)
    : QDialog(parent) {
    const bool pass = kind == ResultKind::Pass;
    setWindowTitle(pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    setObjectName(pass ? QStringLiteral("PassDialog") : QStringLiteral("FailDialog"));

    auto* picture = new QLabel(this);
    const qreal ratio = devicePixelRatioF();
    picture->setPixmap(pass ? drawPassPicture(ratio) : drawFailPicture(ratio));
    message_ = new QLabel(text, this);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keepLines(message_, kMaxTextWidth);
    message_->setMinimumWidth(std::max(message_->minimumWidth(), 280));
    detail_ = new QLabel(detail, this);
    detail_->setObjectName(QStringLiteral("DetailLine"));
    detail_->setWordWrap(true);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = detail_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    detail_->setFont(small);
    detail_->setVisible(!detail.isEmpty());
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
    layout->addWidget(detail_);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

QString ResultDialog::messageText() const {
    return message_->text();
}

QString ResultDialog::detailText() const {
    return detail_->text();
}

QString ResultDialog::timeText() const {
    return time_->text();
}

}  // namespace tarnel::ui

#include "ui/result_panel_widget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnel::ui {

namespace {

QString q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* label(QWidget* parent, const char* name, qreal scale, bool bold, bool wrap) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    l->setFont(font);
    l->setWordWrap(wrap);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

// White words on the state's colour, so the state reads from across the room.
void paintState(QWidget* w, PanelState state) {
    const QColor colour = stateColour(state);
    w->setStyleSheet(QStringLiteral("background-color: %1; color: white; border-radius: 6px;"
                                    " padding: 4px 10px;")
                         .arg(colour.name()));
}

}  // namespace

QColor stateColour(PanelState state) {
    switch (state) {
        case PanelState::Ready:
            return {110, 110, 110};
        case PanelState::Running:
            return {20, 90, 190};
        case PanelState::Pass:
            return {0, 140, 40};
        case PanelState::Fail:
            return {200, 20, 20};
        case PanelState::Warning:
            return {200, 120, 0};
    }
    return {110, 110, 110};
}

ResultPanelWidget::ResultPanelWidget(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("ResultPanel"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    state_ = label(this, "PanelState", 2.6, true, false);
    state_->setAlignment(Qt::AlignCenter);
    stateLine_ = label(this, "PanelStateLine", 1.0, false, true);
    result_ = label(this, "PanelResult", 1.15, true, true);
    detail_ = label(this, "PanelDetail", 0.9, false, true);
    serial_ = label(this, "PanelSerial", 1.6, true, false);
    counter_ = label(this, "PanelCounter", 1.6, true, false);
    totals_ = label(this, "PanelTotals", 1.0, false, false);
    programmer_ = label(this, "PanelProgrammer", 0.95, false, false);
    reset_ = new QPushButton(QStringLiteral("Reset totals"), this);
    reset_->setToolTip(QStringLiteral("Start the shift totals again from zero"));

    auto* numbers = new QGridLayout;
    numbers->addWidget(new QLabel(QStringLiteral("S/N"), this), 0, 0);
    numbers->addWidget(serial_, 0, 1);
    numbers->addWidget(new QLabel(QStringLiteral("Chips"), this), 1, 0);
    numbers->addWidget(counter_, 1, 1);
    numbers->setColumnStretch(1, 1);

    auto* totalsRow = new QHBoxLayout;
    totalsRow->addWidget(totals_, 1);
    totalsRow->addWidget(reset_);

    tileRow_ = new QWidget(this);
    auto* tiles = new QGridLayout(tileRow_);
    tiles->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < kGangSockets; ++i) {
        auto* tile = new QFrame(tileRow_);
        tile->setObjectName(QStringLiteral("SocketTile%1").arg(i + 1));
        tile->setFrameStyle(QFrame::Box);
        auto* tileLayout = new QVBoxLayout(tile);
        auto* text = label(tile, "SocketText", 0.9, false, true);
        text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        tileLayout->addWidget(text);
        tiles->addWidget(tile, static_cast<int>(i / 2), static_cast<int>(i % 2));
        tiles_[i] = tile;
        tileTexts_[i] = text;
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(state_);
    layout->addWidget(stateLine_);
    layout->addWidget(result_);
    layout->addWidget(detail_);
    layout->addLayout(numbers);
    layout->addWidget(tileRow_);
    layout->addStretch(1);
    layout->addLayout(totalsRow);
    layout->addWidget(programmer_);
    setMinimumWidth(280);
    setMaximumWidth(420);  // the hex view keeps the room it had
}

void ResultPanelWidget::show(const ResultPanel& panel, const QString& serial,
                             const QString& counter, bool gang) {
    state_->setText(q(panelStateWord(panel.state())));
    if (paintedState_ != panel.state()) {
        paintState(state_, panel.state());
        paintedState_ = panel.state();
    }
    stateLine_->setText(q(panel.stateLine()));
    stateLine_->setVisible(!panel.stateLine().empty());
    result_->setText(q(panel.resultText()));
    result_->setVisible(!panel.resultText().empty());
    detail_->setText(q(panel.detail()));
    detail_->setVisible(!panel.detail().empty());
    serial_->setText(serial);
    counter_->setText(counter);
    totals_->setText(q(panel.totalsText()));
    programmer_->setText(q(panel.programmer()));
    programmer_->setVisible(!panel.programmer().empty());

    tileRow_->setVisible(gang);
    for (std::size_t i = 0; i < kGangSockets; ++i) {
        const SocketTile& tile = panel.sockets()[i];
        QString text = QStringLiteral("#%1  %2").arg(i + 1).arg(q(panelStateWord(tile.state)));
        if (!tile.serial.empty())
            text += QStringLiteral("\nS/N %1").arg(q(tile.serial));
        if (!tile.failure.empty())
            text += QLatin1Char('\n') + q(tile.failure);
        tileTexts_[i]->setText(text);
        if (paintedTiles_[i] == tile.state)
            continue;
        paintedTiles_[i] = tile.state;
        tiles_[i]->setStyleSheet(
            QStringLiteral("QFrame#%1 { border: 3px solid %2; border-radius: 4px; }")
                .arg(tiles_[i]->objectName(), stateColour(tile.state).name()));
    }
}

}  // namespace tarnel::ui

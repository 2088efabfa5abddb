#include "ui/hex_view.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace tarnel::ui {

namespace {
constexpr int kBytesPerRow = 16;
constexpr int kMargin = 4;
}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lineHeight_ = fontMetrics().height();
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
}

void HexView::setBytes(std::span<const std::uint8_t> bytes) {
    bytes_.assign(bytes.begin(), bytes.end());
    updateScrollBar();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

int HexView::rowCount() const {
    return static_cast<int>((bytes_.size() + kBytesPerRow - 1) / kBytesPerRow);
}

int HexView::firstVisibleRow() const {
    return verticalScrollBar()->value();
}

int HexView::visibleRows() const {
    return std::max(1, (viewport()->height() - kMargin) / lineHeight_);
}

QString HexView::rowText(int row) const {
    const std::size_t first = static_cast<std::size_t>(row) * kBytesPerRow;
    if (row < 0 || first >= bytes_.size())
        return {};
    const std::size_t end = std::min(bytes_.size(), first + kBytesPerRow);
    QString text = QStringLiteral("%1  ").arg(first, 8, 16, QLatin1Char('0')).toUpper();
    QString ascii;
    for (std::size_t i = first; i < first + kBytesPerRow; ++i) {
        if (i < end) {
            text += QStringLiteral("%1 ").arg(bytes_[i], 2, 16, QLatin1Char('0')).toUpper();
            const char c = static_cast<char>(bytes_[i]);
            ascii += bytes_[i] >= 0x20 && bytes_[i] < 0x7F ? QLatin1Char(c) : QLatin1Char('.');
        } else {
            text += QStringLiteral("   ");
        }
        if (i - first == 7)
            text += QLatin1Char(' ');
    }
    return text + QLatin1Char(' ') + ascii;
}

QSize HexView::sizeHint() const {
    const int width = fontMetrics().horizontalAdvance(QString(78, QLatin1Char('0')));
    return {width + verticalScrollBar()->sizeHint().width() + 2 * kMargin, lineHeight_ * 16};
}

void HexView::updateScrollBar() {
    verticalScrollBar()->setRange(0, std::max(0, rowCount() - visibleRows()));
    verticalScrollBar()->setPageStep(visibleRows());
    const int width = fontMetrics().horizontalAdvance(QString(78, QLatin1Char('0')));
    horizontalScrollBar()->setRange(0, std::max(0, width + 2 * kMargin - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const int first = firstVisibleRow();
    const int last = std::min(rowCount(), first + visibleRows() + 1);
    const int x = kMargin - horizontalScrollBar()->value();
    int y = kMargin + fontMetrics().ascent();
    for (int row = first; row < last; ++row, y += lineHeight_)
        painter.drawText(x, y, rowText(row));
    lastPaintedRows_ = std::max(0, last - first);
}

}  // namespace tarnel::ui

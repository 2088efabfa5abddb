#include "ui/pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSizePolicy>

namespace tarnel::ui {

namespace {

// A pixmap of `size` logical pixels with `ratio` device pixels to each.
QPixmap canvas(QSize size, qreal ratio, QColor fill) {
    ratio = ratio > 0 ? ratio : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(fill);
    return pixmap;
}

QPixmap drawWord(const QString& word, QSize size, QColor colour, qreal ratio) {
    QPixmap pixmap = canvas(size, ratio, Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(size.height() - 8);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, word);
    return pixmap;
}

void drawChip(QPainter& painter, const QRectF& body) {
    painter.setPen(QPen(QColor(200, 200, 200), 1.5));
    const int legs = 4;
    for (int i = 0; i < legs; ++i) {
        const qreal y = body.top() + body.height() * (i + 0.5) / legs;
        painter.drawLine(QPointF(body.left() - 4, y), QPointF(body.left(), y));
        painter.drawLine(QPointF(body.right(), y), QPointF(body.right() + 4, y));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 48));
    painter.drawRoundedRect(body, 3, 3);
    painter.setBrush(QColor(230, 120, 20));
    painter.drawEllipse(QPointF(body.left() + 5, body.top() + 5), 2, 2);
}

}  // namespace

void paintBanner(QPainter& painter, const QRectF& area) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, Qt::white);
    painter.setClipRect(area);
    painter.translate(area.topLeft());
    painter.scale(1.0, area.height() / 51.0);

    // Logo: a chip and the product name.
    drawChip(painter, QRectF(12, 10, 30, 31));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(QColor(30, 40, 110));
    painter.drawText(QRect(54, 0, 260, 51), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Corvale Tarnel"));

    // Stripes, red into orange, slanted, to the right edge.
    const int start = 330;
    const int stripes = static_cast<int>((area.width() - start) / 46) + 2;
    for (int i = 0; i < stripes; ++i) {
        const qreal x = start + i * 46;
        QPainterPath stripe;
        stripe.moveTo(x, 51);
        stripe.lineTo(x + 18, 0);
        stripe.lineTo(x + 46, 0);
        stripe.lineTo(x + 28, 51);
        stripe.closeSubpath();
        const int green = 30 + (i % 14) * 9;
        painter.fillPath(stripe, i % 2 ? QColor(235, green + 40, 20) : QColor(200, green, 30));
    }
    painter.restore();
}

QPixmap drawBanner(qreal pixelRatio) {
    QPixmap pixmap = canvas(QSize(979, 51), pixelRatio, Qt::white);
    QPainter painter(&pixmap);
    paintBanner(painter, QRectF(0, 0, 979, 51));
    return pixmap;
}

BannerWidget::BannerWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(51);
}

void BannerWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintBanner(painter, rect());
}

QIcon drawProgramIcon() {
    QIcon icon;
    for (int side : {16, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / 32.0, side / 32.0);
        drawChip(painter, QRectF(6, 9, 20, 20));
        painter.setPen(QPen(QColor(220, 40, 30), 3));
        painter.drawLine(QPointF(16, 1), QPointF(16, 12));
        painter.drawLine(QPointF(12, 8), QPointF(16, 12));
        painter.drawLine(QPointF(20, 8), QPointF(16, 12));
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap drawPassPicture(qreal pixelRatio) {
    return drawWord(QStringLiteral("PASS"), QSize(159, 51), QColor(0, 160, 0), pixelRatio);
}

QPixmap drawFailPicture(qreal pixelRatio) {
    return drawWord(QStringLiteral("FAIL"), QSize(132, 49), QColor(220, 0, 0), pixelRatio);
}

}  // namespace tarnel::ui

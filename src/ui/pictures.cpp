#include "ui/pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tarnel::ui {

namespace {

QPixmap drawWord(const QString& word, QSize size, QColor colour) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(size.height() - 8);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, word);
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

QPixmap drawBanner() {
    QPixmap pixmap(979, 51);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

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
    for (int i = 0; i < 14; ++i) {
        const qreal x = start + i * 46;
        QPainterPath stripe;
        stripe.moveTo(x, 51);
        stripe.lineTo(x + 18, 0);
        stripe.lineTo(x + 46, 0);
        stripe.lineTo(x + 28, 51);
        stripe.closeSubpath();
        const int green = 30 + i * 9;
        painter.fillPath(stripe, i % 2 ? QColor(235, green + 40, 20) : QColor(200, green, 30));
    }
    return pixmap;
}

QIcon drawProgramIcon() {
    QIcon icon;
    for (int side : {16, 32, 48}) {
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

QPixmap drawPassPicture() {
    return drawWord(QStringLiteral("PASS"), QSize(159, 51), QColor(0, 160, 0));
}

QPixmap drawFailPicture() {
    return drawWord(QStringLiteral("FAIL"), QSize(132, 49), QColor(220, 0, 0));
}

}  // namespace tarnel::ui

#pragma once
// Pictures the program draws itself, as vectors: the banner across the top of the window,
// the program icon, and the words of the PASS and FAIL boxes. Each is painted at the
// screen's pixel density, so it stays sharp at any scaling.

#include <QIcon>
#include <QPixmap>
#include <QWidget>

class QPainter;

namespace tarnel::ui {

// The banner into any rectangle: the logo at the left, red and orange stripes to the right
// edge, however wide.
void paintBanner(QPainter& painter, const QRectF& area);
QPixmap drawBanner(qreal pixelRatio = 1.0);  // 979 x 51 logical pixels
QIcon drawProgramIcon();                     // a chip with a programming arrow
// "PASS" in bold green capitals (159 x 51) and "FAIL" in bold red (132 x 49), in logical
// pixels, drawn for the given pixel ratio.
QPixmap drawPassPicture(qreal pixelRatio = 1.0);
QPixmap drawFailPicture(qreal pixelRatio = 1.0);

// The banner as a widget: 51 pixels high, as wide as the window, drawn on every paint.
class BannerWidget : public QWidget {
    Q_OBJECT
  public:
    explicit BannerWidget(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {979, 51}; }
    QSize minimumSizeHint() const override { return {320, 51}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tarnel::ui

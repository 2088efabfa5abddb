#pragma once
// A read-only hex dump: offset, 16 bytes and their ASCII form per row. Only the rows in
// sight are painted, so a whole 256 KiB region scrolls without lag.

#include <QAbstractScrollArea>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnel::ui {

class HexView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit HexView(QWidget* parent = nullptr);

    // Shows these bytes from offset 0 (a copy is kept) and scrolls to the top.
    void setBytes(std::span<const std::uint8_t> bytes);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    int rowCount() const;
    int firstVisibleRow() const;
    // How many rows the last paint drew; a test checks that no more than fit were drawn.
    int lastPaintedRows() const { return lastPaintedRows_; }
    // The text of one row as painted.
    QString rowText(int row) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void updateScrollBar();
    int visibleRows() const;

    std::vector<std::uint8_t> bytes_;
    int lineHeight_ = 1;
    int lastPaintedRows_ = 0;
};

}  // namespace tarnel::ui

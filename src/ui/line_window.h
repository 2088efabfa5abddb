#pragma once
// The line window: one tile per station (state, last result in its colour, S/N, totals, port
// and kind), a Start button with a shortcut per station, Stop all, and the line's totals. A
// thin layer over LinePanel; the stations run in a LineRunner on threads of their own, and
// their reports are handed to the window's thread before they touch a widget.

#include <QWidget>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/line_panel.h"
#include "app/line_runner.h"

class QFrame;
class QLabel;
class QPushButton;

namespace tarnel::ui {

class LineWindow : public QWidget {
    Q_OBJECT
  public:
    explicit LineWindow(LineSetup setup, QWidget* parent = nullptr);
    ~LineWindow() override;  // stops every station and waits for them

    // Starts every station over these ports and clock; the runner reports to listener().
    void run(PortFactory& ports, Clock& clock, const LineOptions& options = {});
    LineRunner* runner() { return runner_.get(); }
    // Callable from any thread: each report reaches the tiles on the window's thread.
    LineListener& listener();

    const LinePanel& panel() const { return panel_; }
    struct TileWidgets {
        QFrame* frame = nullptr;
        QLabel* where = nullptr;
        QLabel* state = nullptr;
        QLabel* result = nullptr;
        QLabel* serial = nullptr;
        QLabel* totals = nullptr;
        QLabel* message = nullptr;
        QPushButton* start = nullptr;
    };
    const TileWidgets& tile(std::size_t index) const { return tiles_.at(index); }
    QLabel* lineTotals() const { return lineTotals_; }
    QPushButton* stopAllButton() const { return stopAll_; }

  public slots:
    // Ends every station between chips, without holding up the window.
    void stopAll();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class Forwarder;
    void apply(const StationStatus& status);
    void showTile(std::size_t index);
    void startClicked(std::size_t index);
    void stopFinished();

    LineSetup setup_;
    LinePanel panel_;
    std::unique_ptr<Forwarder> listener_;
    std::unique_ptr<LineRunner> runner_;
    std::vector<TileWidgets> tiles_;
    std::vector<std::optional<PanelState>> painted_;
    QLabel* lineTotals_ = nullptr;
    QLabel* lineState_ = nullptr;
    QPushButton* stopAll_ = nullptr;
    std::thread stopper_;
    bool stopping_ = false;
    bool stopped_ = false;
    bool closeWhenStopped_ = false;
};

}  // namespace tarnel::ui

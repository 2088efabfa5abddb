#pragma once
// The result panel beside the window's controls: the state in large coloured words, the
// running command's step or the last result with its detail line, the S/N and chip counter
// in large type, the shift totals with their reset, the programmer found, and in gang mode
// one tile per socket. It only shows what the window logic's ResultPanel holds.

#include <QFrame>
#include <array>
#include <optional>

#include "app/result_panel.h"

class QLabel;
class QPushButton;

namespace tarnel::ui {

class ResultPanelWidget : public QFrame {
    Q_OBJECT
  public:
    explicit ResultPanelWidget(QWidget* parent = nullptr);

    void show(const ResultPanel& panel, const QString& serial, const QString& counter, bool gang);

    QLabel* stateWord() const { return state_; }
    QLabel* stateLine() const { return stateLine_; }
    QLabel* resultText() const { return result_; }
    QLabel* detailText() const { return detail_; }
    QLabel* serialText() const { return serial_; }
    QLabel* counterText() const { return counter_; }
    QLabel* totalsText() const { return totals_; }
    QLabel* programmerText() const { return programmer_; }
    QPushButton* resetTotalsButton() const { return reset_; }
    QFrame* socketTile(int socket) const { return tiles_[static_cast<std::size_t>(socket - 1)]; }
    QLabel* socketText(int socket) const {
        return tileTexts_[static_cast<std::size_t>(socket - 1)];
    }

  private:
    QLabel* state_;
    QLabel* stateLine_;
    QLabel* result_;
    QLabel* detail_;
    QLabel* serial_;
    QLabel* counter_;
    QLabel* totals_;
    QLabel* programmer_;
    QPushButton* reset_;
    QWidget* tileRow_;
    // The states last painted, so a status text does not restyle the panel.
    std::optional<PanelState> paintedState_;
    std::array<std::optional<PanelState>, kGangSockets> paintedTiles_{};
    std::array<QFrame*, kGangSockets> tiles_{};
    std::array<QLabel*, kGangSockets> tileTexts_{};
};

// The colour a state is drawn in: grey, blue, green, red, amber.
QColor stateColour(PanelState state);

}  // namespace tarnel::ui

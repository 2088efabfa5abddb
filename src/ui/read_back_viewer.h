#pragma once
// "Read Chip": the chip contents the last read left, one tab per region, in a hex view, and
// the shown region saved as a .BIN file. The viewer keeps its own copy of what it shows.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/read_back.h"

class QPushButton;
class QTabBar;

namespace tarnel::ui {

class HexView;

enum class ReadBackRegion { Aprom, DataFlash, Ldrom };

class ReadBackViewer : public QDialog {
    Q_OBJECT
  public:
    // ldromLastAddress: the selected part's LDROM size minus one.
    ReadBackViewer(const ReadBackState& readBack, std::uint32_t ldromLastAddress,
                   QWidget* parent = nullptr);

    // "Show CONFIG" runs this (the CONFIG view over the chip's CONFIG words).
    void setShowConfig(std::function<void()> show) { showConfig_ = std::move(show); }
    // Asks for the file to save to; the platform's save dialog unless a test replaces it.
    // Gets the suggested name; an empty answer is a cancel.
    void setSavePathChooser(std::function<QString(const QString&)> choose) {
        choosePath_ = std::move(choose);
    }

    QTabBar* tabs() const { return tabs_; }
    HexView* hexView() const { return hexView_; }
    QPushButton* saveButton() const { return save_; }
    ReadBackRegion shownRegion() const { return shown_; }
    // "APROM_Contents", "DataFlash_Contents" or "LDROM_Contents" for the shown region.
    QString suggestedName() const;

    // Writes the shown region to path; "Open file error !" when it cannot.
    bool saveTo(const QString& path);

  private:
    void showTab(int tab);
    void save();
    const std::vector<std::uint8_t>& bytesOf(ReadBackRegion region) const;

    std::vector<std::uint8_t> aprom_;
    std::vector<std::uint8_t> dataFlash_;
    std::vector<std::uint8_t> ldrom_;
    bool dataFlashTab_ = false;
    ReadBackRegion shown_ = ReadBackRegion::Aprom;
    QTabBar* tabs_;
    HexView* hexView_;
    QPushButton* save_;
    std::function<void()> showConfig_;
    std::function<QString(const QString&)> choosePath_;
};

}  // namespace tarnel::ui

#pragma once
// The CONFIG editors over their models: group boxes of radios in two columns, the DataFlash
// "Size:" and "Start Address:" boxes with the page spin, or for bit-table parts one tab per
// CONFIG byte and the decoded read-outs. Edits go to the job at once; a read-only view shows
// CONFIG bytes read back and changes nothing.

#include <QDialog>
#include <QSpinBox>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/config_editor.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tarnel::ui {

// The page spin: its up arrow lowers the page count, so that it raises the start address.
class PageSpin : public QSpinBox {
  public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override { QSpinBox::stepBy(-steps); }

  protected:
    StepEnabled stepEnabled() const override;
};

class ConfigDialog : public QDialog {
    Q_OBJECT
  public:
    // Null when the part's layout has no editor.
    static std::unique_ptr<ConfigDialog> open(ProgrammingJob& job, std::uint32_t partIndex,
                                              bool readOnly, const ConfigBytes* source = nullptr,
                                              std::optional<ConfigLayout> layout = std::nullopt,
                                              QWidget* parent = nullptr);

    QPushButton* okButton() const { return ok_; }
    // The group box of a section (or of a bit, "Bit-7" first, on a bit-table page), or null.
    QGroupBox* section(const QString& title, int page = 0) const;
    QLineEdit* sizeBox() const { return sizeText_; }
    QLineEdit* startBox() const { return startText_; }
    QSpinBox* spin() const { return spin_; }
    QTabWidget* tabs() const { return tabs_; }
    // The bit-table read-outs: clock source, brown-out voltage, CONFIG0's and CONFIG1's value.
    QLineEdit* readout(int i) const { return readouts_[static_cast<std::size_t>(i)]; }
    QTimer* refreshTimer() const { return timer_; }

    void done(int result) override;

  private:
    ConfigDialog(std::optional<ConfigEditorModel> model, QWidget* parent);
    void buildSections();
    void buildBitPages(bool editing);
    QWidget* buildDataFlashPanel(QWidget* parent);
    void apply();
    void showReadouts();

    std::optional<ConfigEditorModel> model_;
    std::optional<BitTableEditorModel> bitModel_;
    std::vector<QGroupBox*> boxes_;
    std::vector<QButtonGroup*> groups_;
    std::vector<QLabel*> panelLabels_;
    QLineEdit* sizeText_ = nullptr;
    QLineEdit* startText_ = nullptr;
    PageSpin* spin_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::array<QLineEdit*, 4> readouts_{};
    QTimer* timer_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace tarnel::ui

#pragma once
// A plain rendering of the CONFIG editor models: one group of radios per section, the
// DataFlash size panel, or for bit-table parts one page per CONFIG byte. Edits go to the job
// at once; a read-only view shows CONFIG bytes read back and changes nothing.

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/config_editor.h"

class QButtonGroup;
class QLabel;
class QSpinBox;

namespace tarnel::ui {

class ConfigDialog : public QDialog {
    Q_OBJECT
  public:
    // Null when the part's layout has no editor.
    static std::unique_ptr<ConfigDialog> open(ProgrammingJob& job, std::uint32_t partIndex,
                                              bool readOnly, const ConfigBytes* source = nullptr,
                                              std::optional<ConfigLayout> layout = std::nullopt,
                                              QWidget* parent = nullptr);

  private:
    ConfigDialog(std::optional<ConfigEditorModel> model, QWidget* parent);
    void buildSections();
    void buildBitPages();
    void apply();

    std::optional<ConfigEditorModel> model_;
    std::optional<BitTableEditorModel> bitModel_;
    std::vector<QButtonGroup*> groups_;
    QLabel* sizeText_ = nullptr;
    QLabel* startText_ = nullptr;
    QSpinBox* spin_ = nullptr;
    QLabel* readouts_ = nullptr;
};

}  // namespace tarnel::ui

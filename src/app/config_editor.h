#pragma once
// The CONFIG editors without a toolkit. One model serves every word and 8051 layout: each
// editor is a description of its sections (editor_desc.h), and this model keeps the radios,
// the enabling rules and the DataFlash panel in step with the job's CONFIG bytes. The Qt
// dialogs and the command line only render the states it returns and forward clicks to it.
// The bit-table dialog has a model of its own (bit_table_editor.h).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/bit_table_editor.h"
#include "app/editor_desc.h"
#include "core/config_model.h"
#include "core/programming_job.h"

namespace tarnel {

// What the dialog shows.
struct RadioState {
    std::string caption;
    bool selected = false;
    bool enabled = true;
};

struct SectionState {
    std::string title;
    bool enabled = true;
    std::vector<RadioState> radios;
};

struct DataFlashPanelState {
    bool present = false;
    std::string sizeText;
    std::string startText;
    bool textsEnabled = false;  // the two boxes and their "Size:"/"Start Address:" labels
    bool spinEnabled = false;
    std::uint32_t spinMin = 1;
    std::uint32_t spinMax = 1;
    std::uint32_t spinPosition = 1;
};

class ConfigEditorModel {
  public:
    // Opens the editor the part's layout calls for (or the given layout, as the callers that
    // choose their own editor do), editing the job's CONFIG words or viewing `source` (CONFIG
    // bytes read back). Gives nothing when there is no such editor.
    static std::optional<ConfigEditorModel> open(ProgrammingJob& job, std::uint32_t partIndex,
                                                 bool readOnly, const ConfigBytes* source = nullptr,
                                                 std::optional<ConfigLayout> layout = std::nullopt);

    const std::string& title() const { return desc_.title; }
    ConfigLayout layout() const { return desc_.layout; }
    std::string okCaption() const { return readOnly_ ? "Exit" : "OK"; }
    bool readOnly() const { return readOnly_; }

    const std::vector<SectionState>& sections() const { return sections_; }
    const DataFlashPanelState& dataFlash() const { return panel_; }
    // Index of the section with this title, or -1.
    int sectionIndex(std::string_view title) const;

    // The operator clicked a radio; writes the job's CONFIG bytes at once.
    void clickRadio(int section, int radio);
    void clickRadio(std::string_view section, std::string_view caption);
    // The spin control moved to `position` pages.
    void moveSpin(std::uint32_t position);

  private:
    ConfigEditorModel(ProgrammingJob& job, std::uint32_t partIndex, EditorDesc desc, bool readOnly);

    void selectFromBytes(const ConfigBytes& bytes);
    void applyEnabling(bool opening);
    void applyReadOnlyGreying();
    void openDataFlashPanel(const ConfigBytes& bytes);
    void writeBase(std::uint32_t pages);
    void showVariableTexts(std::uint32_t pages);
    void showKiteUFixedTexts();
    void setSectionEnabled(int section, bool enabled);
    void select(int section, int radio);

    ProgrammingJob& job_;
    std::uint32_t partIndex_;
    EditorDesc desc_;
    bool readOnly_;
    std::vector<SectionState> sections_;
    DataFlashPanelState panel_;
};

// What the read-only editor for these CONFIG bytes shows, one line per section ("LOCK (Code
// Protection): Enable"), the DataFlash size and start, or for the bit-table dialog each bit
// with its meaning and the read-outs. The command line prints these lines.
std::vector<std::string> describeConfigView(ProgrammingJob& job, std::uint32_t partIndex,
                                            const ConfigBytes& bytes,
                                            std::optional<ConfigLayout> layout = std::nullopt);

}  // namespace tarnel

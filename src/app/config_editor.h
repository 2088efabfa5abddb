#pragma once
// The CONFIG editors without a toolkit. One model serves every layout: each editor is a
// description of its sections (group boxes), the radios in them, the bits each radio writes
// and reads, and the rules that enable one section from another. The Qt dialogs and the
// command line only render the states this model returns and forward clicks to it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/config_model.h"
#include "core/programming_job.h"

namespace tarnel {

// A value for some bits of stream byte `streamByte` (configBytes[7 - streamByte]).
struct BitValue {
    std::uint8_t streamByte = 0;
    std::uint8_t mask = 0;
    std::uint8_t value = 0;
};

enum class SectionRole { Plain, DataFlash, SizeMode, Ldrom };

struct RadioDesc {
    std::string caption;
    std::vector<BitValue> writes;
    // Selected when every value matches. Without match values the radio is the section's
    // fallback: selected when no other radio of the section matches.
    std::vector<BitValue> match;
    bool fallback = false;
};

struct SectionDesc {
    std::string title;
    std::vector<RadioDesc> radios;
    SectionRole role = SectionRole::Plain;
    int enabledBy = -1;  // section whose radio enabledByRadio must be selected
    int enabledByRadio = 0;
    bool enablingAtOpeningOnly = false;
};

struct DataFlashPanelDesc {
    std::uint32_t pageSize = 0;
    std::uint32_t flashEnd = 0;
    std::uint32_t minPages = 1;
    std::uint32_t maxPages = 0;
    bool wordLayout = true;  // CONFIG1 holds the base (32-bit) or the start page (8051)
};

struct EditorDesc {
    std::string title;
    ConfigLayout layout = ConfigLayout::None;
    std::vector<SectionDesc> sections;
    std::optional<DataFlashPanelDesc> dataFlash;
};

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

// The bit-table dialog: one page per CONFIG byte (as many as algoParamC), each bit a group
// of two radios captioned from the label tables, with the decoded read-outs.
struct BitGroupState {
    std::string caption;
    std::string text0;
    std::string text1;
    int value = 0;  // 0: first radio selected, 1: second
    bool enabled0 = true;
    bool enabled1 = true;
};

class BitTableEditorModel {
  public:
    BitTableEditorModel(ProgrammingJob& job, std::uint32_t partIndex, bool readOnly,
                        const ConfigBytes* source = nullptr);

    std::string okCaption() const { return readOnly_ ? "Exit" : "OK"; }
    int pageCount() const { return static_cast<int>(pages_.size()); }
    // Groups of page p, bit 7 first.
    const std::vector<BitGroupState>& page(int p) const {
        return pages_[static_cast<std::size_t>(p)];
    }
    void clickBit(int page, int bit, int value);
    // The read-outs; while editing they follow the job's CONFIG bytes (the dialog refreshes
    // them on a timer).
    ConfigDescription readouts() const;

  private:
    void buildPage(int page, std::uint8_t value);
    std::uint8_t currentByte(int page) const;

    ProgrammingJob& job_;
    std::uint32_t partIndex_;
    bool readOnly_;
    ConfigBytes source_{};
    std::vector<std::vector<BitGroupState>> pages_;
};

// What the read-only editor for these CONFIG bytes shows, one line per section ("LOCK (Code
// Protection): Enable"), the DataFlash size and start, or for the bit-table dialog each bit
// with its meaning and the read-outs. The command line prints these lines.
std::vector<std::string> describeConfigView(ProgrammingJob& job, std::uint32_t partIndex,
                                            const ConfigBytes& bytes,
                                            std::optional<ConfigLayout> layout = std::nullopt);

// The editor description of a layout for a part (exposed for the command line's decoding).
EditorDesc describeEditor(ConfigLayout layout, const PartRecord& part, std::uint32_t index,
                          const ConfigBytes& bytes, bool readOnly);

}  // namespace tarnel

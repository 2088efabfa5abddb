#pragma once
// The bit-table CONFIG dialog of the 8051 parts without a toolkit.

#include <cstdint>
#include <string>
#include <vector>

#include "core/config_model.h"
#include "core/programming_job.h"

namespace tarnel {

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

}  // namespace tarnel

#include "app/bit_table_editor.h"

#include <algorithm>

namespace tarnel {

BitTableEditorModel::BitTableEditorModel(ProgrammingJob& job, std::uint32_t partIndex,
                                         bool readOnly, const ConfigBytes* source)
    : job_(job), partIndex_(partIndex), readOnly_(readOnly) {
    source_ = (readOnly && source) ? *source : job.configBytes;
    const PartRecord& part = job.catalogue.partAt(partIndex);
    const int count = std::min<int>(part.algoParamC, 2);
    for (int p = 0; p < count; ++p)
        buildPage(p, configByte(source_, p));
}

void BitTableEditorModel::buildPage(int page, std::uint8_t value) {
    const PartRecord& part = job_.catalogue.partAt(partIndex_);
    const auto& table = page == 0 ? config0Labels : config1Labels;
    const std::uint8_t layout = page == 0 ? part.config0Layout : part.config1Layout;
    std::vector<BitGroupState> groups;
    for (int bit = 7; bit >= 0; --bit) {
        const ConfigBitLabel label =
            layout < table.size() ? table[layout][static_cast<std::size_t>(bit)] : ConfigBitLabel{};
        BitGroupState g{std::string(label.name),
                        std::string(label.text0),
                        std::string(label.text1),
                        (value >> bit) & 1,
                        true,
                        true};
        if (label.name == "Reserved" || label.name == "Reserved(0)") {
            g.enabled0 = g.enabled1 = false;
        }
        if (readOnly_) {
            g.enabled0 = g.enabled0 && g.value == 0;
            g.enabled1 = g.enabled1 && g.value == 1;
        }
        if (page == 1 && bit == 6 && label.name == "NVM Lock" && (value & 0x80)) {
            g.enabled0 = g.enabled1 = false;
        }
        groups.push_back(std::move(g));
    }
    if (static_cast<std::size_t>(page) < pages_.size()) {
        pages_[static_cast<std::size_t>(page)] = std::move(groups);
    } else {
        pages_.push_back(std::move(groups));
    }
}

std::uint8_t BitTableEditorModel::currentByte(int page) const {
    return configByte(readOnly_ ? source_ : job_.configBytes, page);
}

void BitTableEditorModel::clickBit(int page, int bit, int value) {
    if (readOnly_ || page < 0 || page >= pageCount() || bit < 0 || bit > 7)
        return;
    auto& group = pages_[static_cast<std::size_t>(page)][static_cast<std::size_t>(7 - bit)];
    if (!(value ? group.enabled1 : group.enabled0))
        return;
    const PartRecord& part = job_.catalogue.partAt(partIndex_);
    if (page == 1 && bit == 7) {
        writeAPromLock(part, job_.configBytes, value != 0);
    } else {
        std::uint8_t b = configByte(job_.configBytes, page);
        b = value ? static_cast<std::uint8_t>(b | (1u << bit))
                  : static_cast<std::uint8_t>(b & ~(1u << bit));
        setConfigByte(job_.configBytes, page, b);
    }
    buildPage(page, configByte(job_.configBytes, page));
}

ConfigDescription BitTableEditorModel::readouts() const {
    const PartRecord& part = job_.catalogue.partAt(partIndex_);
    return describeConfig(currentByte(0), currentByte(1), part);
}

}  // namespace tarnel

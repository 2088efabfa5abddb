#include "app/config_editor.h"

#include <algorithm>
#include <cstdio>

namespace tarnel {

namespace {

bool matches(const ConfigBytes& bytes, const BitValue& v) {
    return (bytes[7u - v.streamByte] & v.mask) == v.value;
}

void write(ConfigBytes& bytes, const BitValue& v) {
    std::uint8_t& b = bytes[7u - v.streamByte];
    b = static_cast<std::uint8_t>((b & ~v.mask) | (v.value & v.mask));
}

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string formatInt(const char* pattern, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

std::optional<ConfigEditorModel> ConfigEditorModel::open(ProgrammingJob& job,
                                                         std::uint32_t partIndex, bool readOnly,
                                                         const ConfigBytes* source,
                                                         std::optional<ConfigLayout> chosen) {
    if (!ChipCatalogue::contains(partIndex))
        return std::nullopt;
    const PartRecord& part = job.catalogue.partAt(partIndex);
    const ConfigLayout layout = chosen ? *chosen : configLayoutOf(part);
    if (layout == ConfigLayout::None || layout == ConfigLayout::BitTable)
        return std::nullopt;
    const ConfigBytes bytes = (readOnly && source) ? *source : job.configBytes;
    ConfigEditorModel model(job, partIndex, describeEditor(layout, part, bytes, readOnly),
                            readOnly);
    model.selectFromBytes(bytes);
    model.openDataFlashPanel(bytes);
    model.applyEnabling(true);
    model.applyReadOnlyGreying();
    return model;
}

ConfigEditorModel::ConfigEditorModel(ProgrammingJob& job, std::uint32_t partIndex, EditorDesc desc,
                                     bool readOnly)
    : job_(job), partIndex_(partIndex), desc_(std::move(desc)), readOnly_(readOnly) {
    for (const auto& s : desc_.sections) {
        SectionState state;
        state.title = s.title;
        for (const auto& r : s.radios)
            state.radios.push_back({r.caption, false, true});
        sections_.push_back(std::move(state));
    }
}

int ConfigEditorModel::sectionIndex(std::string_view title) const {
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        if (sections_[i].title == title)
            return static_cast<int>(i);
    }
    return -1;
}

void ConfigEditorModel::select(int section, int radio) {
    auto& radios = sections_[static_cast<std::size_t>(section)].radios;
    for (std::size_t i = 0; i < radios.size(); ++i)
        radios[i].selected = static_cast<int>(i) == radio;
}

void ConfigEditorModel::setSectionEnabled(int section, bool enabled) {
    auto& s = sections_[static_cast<std::size_t>(section)];
    s.enabled = enabled;
    for (auto& r : s.radios)
        r.enabled = enabled;
}

void ConfigEditorModel::selectFromBytes(const ConfigBytes& bytes) {
    for (std::size_t s = 0; s < desc_.sections.size(); ++s) {
        const auto& radios = desc_.sections[s].radios;
        int chosen = -1;
        for (std::size_t r = 0; r < radios.size() && chosen < 0; ++r) {
            if (radios[r].fallback)
                continue;
            if (std::all_of(radios[r].match.begin(), radios[r].match.end(),
                            [&](const BitValue& v) { return matches(bytes, v); })) {
                chosen = static_cast<int>(r);
            }
        }
        for (std::size_t r = 0; r < radios.size() && chosen < 0; ++r) {
            if (radios[r].fallback)
                chosen = static_cast<int>(r);
        }
        select(static_cast<int>(s), chosen);
    }
}

void ConfigEditorModel::applyEnabling(bool opening) {
    for (std::size_t s = 0; s < desc_.sections.size(); ++s) {
        const auto& d = desc_.sections[s];
        if (d.enabledBy < 0 || (d.enablingAtOpeningOnly && !opening))
            continue;
        const auto& by = sections_[static_cast<std::size_t>(d.enabledBy)].radios;
        const bool on = by[static_cast<std::size_t>(d.enabledByRadio)].selected;
        setSectionEnabled(static_cast<int>(s), on);
    }
    // Wren: with detection off neither voltage is shown as chosen.
    if (desc_.layout == ConfigLayout::Wren) {
        const int v = sectionIndex("Voltage");
        if (!sections_[static_cast<std::size_t>(v)].enabled)
            select(v, -1);
    }
}

void ConfigEditorModel::applyReadOnlyGreying() {
    if (!readOnly_)
        return;
    for (auto& s : sections_) {
        for (auto& r : s.radios)
            r.enabled = r.enabled && r.selected;
    }
}

void ConfigEditorModel::showVariableTexts(std::uint32_t pages) {
    const auto& p = *desc_.dataFlash;
    if (p.wordLayout) {
        const double kb = pages * (p.pageSize / 1024.0);
        panel_.sizeText = p.pageSize == 1024 ? formatInt("%d KB", pages) : format("%.1f KB", kb);
        panel_.startText = formatInt("0x%08X", config1Word(job_.configBytes));
    } else {
        panel_.sizeText = format("%.2f KB", pages * 0.25);
        panel_.startText = formatInt("0x%04X", configByte(job_.configBytes, 1) * 256u);
    }
}

void ConfigEditorModel::showKiteUFixedTexts() {
    panel_.sizeText = "4.0 KB";
    panel_.startText = "0x0001F000";
}

void ConfigEditorModel::openDataFlashPanel(const ConfigBytes& bytes) {
    if (!desc_.dataFlash)
        return;
    const auto& p = *desc_.dataFlash;
    const PartRecord& part = job_.catalogue.partAt(partIndex_);
    const int dfSection = sectionIndex("DataFlash");
    panel_.present = true;
    panel_.spinMin = p.minPages;
    panel_.spinMax = p.maxPages;

    std::uint32_t pages = job_.dataFlashPages;
    if (readOnly_) {
        const std::uint32_t base = p.wordLayout ? (config1Word(bytes) & ~0xFFu)
                                                : std::uint32_t{configByte(bytes, 1)} * 256;
        pages = base < p.flashEnd ? (p.flashEnd - base) / p.pageSize : 0;
    }
    panel_.spinPosition = pages;

    // Texts read the opening bytes (the view's copy or the job's own).
    const bool disabled = (bytes[7] & 0x01) != 0;
    if (p.wordLayout) {
        panel_.sizeText = p.pageSize == 1024 ? formatInt("%d KB", pages)
                                             : format("%.1f KB", pages * (p.pageSize / 1024.0));
        panel_.startText = formatInt("0x%08X", config1Word(bytes));
    } else {
        panel_.sizeText = format("%.2f KB", pages * 0.25);
        panel_.startText = formatInt("0x%04X", configByte(bytes, 1) * 256u);
    }
    panel_.spinEnabled = !readOnly_ && !disabled;
    panel_.textsEnabled = !disabled;

    if (desc_.layout == ConfigLayout::KiteU && (bytes[7] & 0x04)) {
        panel_.spinMax = 4095;
        panel_.spinEnabled = false;
        showKiteUFixedTexts();
        if (disabled)
            setSectionEnabled(sectionIndex("Variable Size Enable"), false);
    }

    if (part.dataFlashSize == 0) {
        // No DataFlash at all.
        setSectionEnabled(dfSection, false);
        select(dfSection, 1);
        panel_.sizeText.clear();
        panel_.startText.clear();
        panel_.spinEnabled = false;
        panel_.textsEnabled = false;
    } else if (!part.dataFlashInAprom) {
        // A fixed DataFlash block: always enabled, its size and place from the catalogue.
        select(dfSection, 0);
        auto& radios = sections_[static_cast<std::size_t>(dfSection)].radios;
        radios[0].enabled = true;
        radios[1].enabled = false;
        panel_.textsEnabled = true;
        panel_.spinEnabled = false;
        panel_.sizeText = formatInt("%-d KB", part.dataFlashSize / 1024);
        panel_.startText = formatInt(p.wordLayout ? "0x%08X" : "0x%04X", part.dataFlashStart);
        if (desc_.layout == ConfigLayout::KiteU) {
            setSectionEnabled(sectionIndex("Variable Size Enable"), false);
        }
    }
}

void ConfigEditorModel::writeBase(std::uint32_t pages) {
    const auto& p = *desc_.dataFlash;
    if (p.wordLayout) {
        setConfig1Word(job_.configBytes, p.flashEnd - pages * p.pageSize);
    } else {
        setConfigByte(job_.configBytes, 1, static_cast<std::uint8_t>(p.flashEnd / 256 - pages));
    }
}

void ConfigEditorModel::clickRadio(std::string_view section, std::string_view caption) {
    const int s = sectionIndex(section);
    if (s < 0)
        return;
    const auto& radios = sections_[static_cast<std::size_t>(s)].radios;
    for (std::size_t r = 0; r < radios.size(); ++r) {
        if (radios[r].caption == caption) {
            clickRadio(s, static_cast<int>(r));
            return;
        }
    }
}

void ConfigEditorModel::clickRadio(int section, int radioIndex) {
    if (readOnly_ || section < 0 || static_cast<std::size_t>(section) >= desc_.sections.size()) {
        return;
    }
    const auto& d = desc_.sections[static_cast<std::size_t>(section)];
    if (radioIndex < 0 || static_cast<std::size_t>(radioIndex) >= d.radios.size())
        return;
    const PartRecord& part = job_.catalogue.partAt(partIndex_);
    auto& bytes = job_.configBytes;
    const bool first = radioIndex == 0;

    switch (d.role) {
        case SectionRole::DataFlash: {
            if (!part.dataFlashInAprom)
                return;  // a fixed DataFlash cannot be switched
            if (desc_.layout == ConfigLayout::KiteU) {
                setKiteUDataFlashEnabled(bytes, first);
                const int sizeMode = sectionIndex("Variable Size Enable");
                setSectionEnabled(sizeMode, first);
                if (!first)
                    select(sizeMode, 0);
                showKiteUFixedTexts();
                panel_.spinEnabled = false;
                panel_.textsEnabled = first;
            } else {
                for (const auto& v : d.radios[static_cast<std::size_t>(radioIndex)].writes) {
                    write(bytes, v);
                }
                panel_.spinEnabled = first;
                panel_.textsEnabled = first;
            }
            break;
        }
        case SectionRole::SizeMode:
            if (first) {
                setKiteUFixedSize(bytes);
                showKiteUFixedTexts();
                panel_.spinEnabled = false;
            } else {
                bytes[7] &= static_cast<std::uint8_t>(~0x04);
                panel_.spinMax = desc_.dataFlash->maxPages;
                panel_.spinPosition =
                    std::clamp(job_.dataFlashPages, panel_.spinMin, panel_.spinMax);
                writeBase(panel_.spinPosition);
                showVariableTexts(panel_.spinPosition);
                panel_.spinEnabled = true;
            }
            break;
        case SectionRole::Ldrom:
            setSonraLdrom(bytes, first);
            panel_.startText = formatInt("0x%08X", config1Word(bytes));
            break;
        case SectionRole::Plain:
            for (const auto& v : d.radios[static_cast<std::size_t>(radioIndex)].writes) {
                write(bytes, v);
            }
            break;
    }
    select(section, radioIndex);
    applyEnabling(false);
}

void ConfigEditorModel::moveSpin(std::uint32_t position) {
    if (readOnly_ || !panel_.present || !panel_.spinEnabled)
        return;
    // Every layout keeps the count within its range (a count of 0 becomes 1), so the base
    // never leaves the DataFlash span.
    const std::uint32_t pages = std::clamp(position, panel_.spinMin, panel_.spinMax);
    panel_.spinPosition = pages;
    job_.dataFlashPages = pages;
    writeBase(pages);
    showVariableTexts(pages);
}

std::vector<std::string> describeConfigView(ProgrammingJob& job, std::uint32_t partIndex,
                                            const ConfigBytes& bytes,
                                            std::optional<ConfigLayout> layout) {
    std::vector<std::string> lines;
    const ConfigLayout chosen = layout ? *layout : configLayoutOf(job.catalogue.partAt(partIndex));
    if (chosen == ConfigLayout::BitTable) {
        BitTableEditorModel view(job, partIndex, true, &bytes);
        for (int p = 0; p < view.pageCount(); ++p) {
            int bit = 7;
            for (const auto& group : view.page(p)) {
                lines.push_back("CONFIG" + std::to_string(p) + " bit " + std::to_string(bit--) +
                                " " + group.caption + ": " +
                                (group.value ? group.text1 : group.text0));
            }
        }
        const ConfigDescription d = view.readouts();
        lines.push_back("Clock Source: " + d.clockSource);
        lines.push_back("Brownout Voltage: " + d.brownOutVoltage);
        return lines;
    }
    const auto editor = ConfigEditorModel::open(job, partIndex, true, &bytes, chosen);
    if (!editor)
        return lines;
    for (const auto& section : editor->sections()) {
        for (const auto& radio : section.radios) {
            if (radio.selected)
                lines.push_back(section.title + ": " + radio.caption);
        }
    }
    const auto& panel = editor->dataFlash();
    if (panel.present && !panel.sizeText.empty())
        lines.push_back("DataFlash Size: " + panel.sizeText +
                        ", Start Address: " + panel.startText);
    return lines;
}

}  // namespace tarnel

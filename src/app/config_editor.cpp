#include "app/config_editor.h"

#include <algorithm>
#include <cstdio>

namespace tarnel {

namespace {

// Bits bitLow..bitLow+width-1 of a 32-bit CONFIG0 word, set to `value`.
BitValue word0(int bitLow, int width, unsigned value) {
    const int shift = bitLow % 8;
    return {static_cast<std::uint8_t>(bitLow / 8),
            static_cast<std::uint8_t>(((1u << width) - 1) << shift),
            static_cast<std::uint8_t>(value << shift)};
}

// Bits of the 8051 CONFIG byte `n`.
BitValue byte8051(int n, int bitLow, int width, unsigned value) {
    return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(((1u << width) - 1) << bitLow),
            static_cast<std::uint8_t>(value << bitLow)};
}

RadioDesc radio(std::string caption, BitValue v) {
    return {std::move(caption), {v}, {v}, false};
}

RadioDesc fallbackRadio(std::string caption, BitValue write) {
    return {std::move(caption), {write}, {}, true};
}

SectionDesc section(std::string title, std::vector<RadioDesc> radios,
                    SectionRole role = SectionRole::Plain) {
    SectionDesc s;
    s.title = std::move(title);
    s.radios = std::move(radios);
    s.role = role;
    return s;
}

SectionDesc dependent(SectionDesc s, int enabledBy, int radioIndex = 0, bool openingOnly = false) {
    s.enabledBy = enabledBy;
    s.enabledByRadio = radioIndex;
    s.enablingAtOpeningOnly = openingOnly;
    return s;
}

SectionDesc enableDisable(std::string title, BitValue enable, BitValue disable,
                          SectionRole role = SectionRole::Plain) {
    return section(std::move(title), {radio("Enable", enable), radio("Disable", disable)}, role);
}

SectionDesc twoWayBoot(BitValue aprom, BitValue ldrom) {
    return section("Boot Select",
                   {radio("Boot from APROM", aprom), radio("Boot from LDROM", ldrom)});
}

SectionDesc fourWayBoot() {
    return section("Boot Select", {radio("Boot from APROM", word0(6, 2, 3)),
                                   radio("Boot from LDROM", word0(6, 2, 1)),
                                   radio("Boot from page0 of APROM", word0(6, 2, 2)),
                                   radio("Boot from page0 of LDROM", word0(6, 2, 0))});
}

SectionDesc wordLock() {
    return enableDisable("LOCK (Code Protection)", word0(1, 1, 0), word0(1, 1, 1));
}
SectionDesc wordDataFlash() {
    return enableDisable("DataFlash", word0(0, 1, 0), word0(0, 1, 1), SectionRole::DataFlash);
}
SectionDesc wordClockFilter() {
    return enableDisable("Clock Filter", word0(28, 1, 1), word0(28, 1, 0));
}

void addKiteFamily(EditorDesc& d, const PartRecord& part, std::uint32_t index, bool kiteU) {
    d.sections.push_back(wordLock());
    d.sections.push_back(kiteU ? fourWayBoot() : twoWayBoot(word0(7, 1, 1), word0(7, 1, 0)));
    // External when bits 26..24 are all 0; KiteU writes bit 26 alone.
    const BitValue internal = kiteU ? word0(26, 1, 1) : word0(24, 3, 7);
    const BitValue external = kiteU ? word0(26, 1, 0) : word0(24, 3, 0);
    d.sections.push_back(
        section("Clock Source", {fallbackRadio("Internal OSC (22.1184MHz)", internal),
                                 {"External XTAL", {external}, {word0(24, 3, 0)}, false}}));
    d.sections.push_back(wordClockFilter());
    const int bod = static_cast<int>(d.sections.size());
    d.sections.push_back(enableDisable("Brownout Detection", word0(23, 1, 0), word0(23, 1, 1)));

    std::string v45 = "4.5V", v38 = "3.8V", v26 = kiteU ? "2.7V" : "2.6V";
    if (part.isLark)
        v26 = "2.7V";
    if (index >= 809 && index <= 816) {
        v45 = "4.3V";
        v38 = "3.7V";
    }
    d.sections.push_back(
        dependent(section("Voltage", {radio(v45, word0(21, 2, 3)), radio(v38, word0(21, 2, 2)),
                                      radio(v26, word0(21, 2, 1)), radio("2.2V", word0(21, 2, 0))}),
                  bod));
    d.sections.push_back(dependent(enableDisable("Reset", word0(20, 1, 0), word0(20, 1, 1)), bod));
    d.sections.push_back(wordDataFlash());
    if (kiteU) {
        d.sections.push_back(
            section("Variable Size Enable",
                    {radio("Size Fix", word0(2, 1, 1)), radio("Size Variable", word0(2, 1, 0))},
                    SectionRole::SizeMode));
    }
}

void addWren(EditorDesc& d) {
    d.sections.push_back(wordLock());
    d.sections.push_back(twoWayBoot(word0(7, 1, 1), word0(7, 1, 0)));
    d.sections.push_back(wordClockFilter());
    const int bod = static_cast<int>(d.sections.size());
    // Bits 22..21 carry both: 11 = detection off, 10 = 3.8 V, 01 (or 00) = 2.7 V.
    d.sections.push_back(section("Brownout Detection", {fallbackRadio("Enable", word0(21, 2, 1)),
                                                        radio("Disable", word0(21, 2, 3))}));
    d.sections.push_back(
        dependent(section("Voltage", {radio("3.8V", word0(21, 2, 2)),
                                      {"2.7V", {word0(21, 2, 1)}, {word0(22, 1, 0)}, false}}),
                  bod));
    d.sections.push_back(dependent(enableDisable("Reset", word0(20, 1, 0), word0(20, 1, 1)), bod));
    d.sections.push_back(wordDataFlash());
}

void addTeal(EditorDesc& d, bool revisionB) {
    d.sections.push_back(wordLock());
    d.sections.push_back(revisionB ? fourWayBoot() : twoWayBoot(word0(7, 1, 1), word0(7, 1, 0)));
    d.sections.push_back(section(
        revisionB ? "Clock Source" : "CPU Clock Source",
        {radio(revisionB ? "Internal OSC (22.1184MHz)" : "Internal OSC (12MHz)", word0(26, 1, 1)),
         radio("External XTAL", word0(26, 1, 0))}));
    d.sections.push_back(wordClockFilter());
    d.sections.push_back(
        section("Brownout Reset",
                {radio("Disable", word0(19, 2, 3)), radio("Enable, 2.5V", word0(19, 2, 2)),
                 radio("Enable, 2.0V", word0(19, 2, 1)), radio("Enable, 1.7V", word0(19, 2, 0))}));
    d.sections.push_back(wordDataFlash());
}

void addSonra(EditorDesc& d) {
    d.sections.push_back(wordLock());
    d.sections.push_back(twoWayBoot(word0(7, 1, 1), word0(7, 1, 0)));
    d.sections.push_back(enableDisable("Brownout Detection", word0(23, 1, 0), word0(23, 1, 1)));
    d.sections.push_back(
        enableDisable("LDROM", word0(2, 1, 1), word0(2, 1, 0), SectionRole::Ldrom));
    d.sections.push_back(wordDataFlash());
}

SectionDesc watchdog(int n) {
    return section("Watch-dog Timer", {radio("Disabled after reset", byte8051(n, 7, 1, 1)),
                                       radio("Enabled after reset", byte8051(n, 7, 1, 0))});
}

SectionDesc threeWayClock(int n) {
    return section("Clock Source", {radio("Internal OSC", byte8051(n, 0, 2, 3)),
                                    radio("External XTAL", byte8051(n, 0, 2, 0)),
                                    radio("Clock from XTAL1", byte8051(n, 0, 2, 2))});
}

SectionDesc oscillator(int n) {
    return section("Internal OSC", {radio("11.0592MHz", byte8051(n, 3, 1, 0)),
                                    radio("22.1184MHz", byte8051(n, 3, 1, 1))});
}

void addFerro(EditorDesc& d) {
    // LOCK is written as bits 2..1 together and read from bit 1.
    d.sections.push_back(
        section("LOCK (Code Protection)",
                {{"Enable", {byte8051(0, 1, 2, 0)}, {byte8051(0, 1, 1, 0)}, false},
                 {"Disable", {byte8051(0, 1, 2, 3)}, {byte8051(0, 1, 1, 1)}, false}}));
    d.sections.push_back(twoWayBoot(byte8051(0, 7, 1, 1), byte8051(0, 7, 1, 0)));
    d.sections.push_back(section("6T/12T Mode", {radio("6T-mode", byte8051(3, 6, 1, 0)),
                                                 radio("12T-mode", byte8051(3, 6, 1, 1))}));
    d.sections.push_back(watchdog(3));
    const int clock = static_cast<int>(d.sections.size());
    d.sections.push_back(section("Clock Source", {radio("External XTAL", byte8051(3, 1, 1, 1)),
                                                  radio("Internal OSC", byte8051(3, 1, 1, 0))}));
    d.sections.push_back(dependent(
        section("External XTAL",
                {radio("< 24MHz", byte8051(3, 5, 1, 0)), radio("> 24MHz", byte8051(3, 5, 1, 1))}),
        clock, 0));
    d.sections.push_back(dependent(oscillator(3), clock, 1));
    d.sections.push_back(enableDisable("Clock Filter", byte8051(3, 4, 1, 1), byte8051(3, 4, 1, 0)));
    const int bod = static_cast<int>(d.sections.size());
    d.sections.push_back(
        enableDisable("Brownout Detection", byte8051(2, 7, 1, 1), byte8051(2, 7, 1, 0)));
    d.sections.push_back(dependent(
        section("Voltage",
                {radio("4.5V", byte8051(2, 5, 2, 0)), radio("3.8V", byte8051(2, 5, 2, 1)),
                 radio("2.7V", byte8051(2, 5, 2, 2)), radio("2.2V", byte8051(2, 5, 2, 3))}),
        bod));
    d.sections.push_back(
        dependent(enableDisable("Reset", byte8051(2, 4, 1, 1), byte8051(2, 4, 1, 0)), bod));
    d.sections.push_back(enableDisable("DataFlash", byte8051(0, 0, 1, 0), byte8051(0, 0, 1, 1),
                                       SectionRole::DataFlash));
}

void addPike(EditorDesc& d) {
    d.sections.push_back(
        enableDisable("LOCK (Code Protection)", byte8051(0, 1, 1, 0), byte8051(0, 1, 1, 1)));
    d.sections.push_back(twoWayBoot(byte8051(0, 7, 1, 1), byte8051(0, 7, 1, 0)));
    d.sections.push_back(watchdog(3));
    const int clock = static_cast<int>(d.sections.size());
    d.sections.push_back(threeWayClock(3));
    d.sections.push_back(dependent(oscillator(3), clock, 0, true));
    d.sections.push_back(enableDisable("Clock Filter", byte8051(3, 4, 1, 1), byte8051(3, 4, 1, 0)));
    const int bod = static_cast<int>(d.sections.size());
    d.sections.push_back(
        enableDisable("Brownout Detection", byte8051(2, 7, 1, 0), byte8051(2, 7, 1, 1)));
    d.sections.push_back(dependent(section("Voltage", {radio("2.7V", byte8051(2, 6, 1, 1)),
                                                       radio("3.8V", byte8051(2, 6, 1, 0))}),
                                   bod));
    d.sections.push_back(
        dependent(enableDisable("Reset", byte8051(2, 4, 1, 1), byte8051(2, 4, 1, 0)), bod));
    d.sections.push_back(enableDisable("DataFlash", byte8051(0, 0, 1, 0), byte8051(0, 0, 1, 1),
                                       SectionRole::DataFlash));
    // Offered: the port state after reset is a real field of these parts.
    d.sections.push_back(section("Port State", {radio("High after reset", byte8051(3, 5, 1, 1)),
                                                radio("Low after reset", byte8051(3, 5, 1, 0))}));
}

void addTern(EditorDesc& d) {
    d.sections.push_back(
        enableDisable("LOCK (Code Protection)", byte8051(0, 0, 1, 0), byte8051(0, 0, 1, 1)));
    d.sections.push_back(watchdog(1));
    const int clock = static_cast<int>(d.sections.size());
    d.sections.push_back(threeWayClock(1));
    d.sections.push_back(dependent(oscillator(1), clock, 0, true));
    d.sections.push_back(enableDisable("Clock Filter", byte8051(1, 4, 1, 1), byte8051(1, 4, 1, 0)));
    const int bod = static_cast<int>(d.sections.size());
    d.sections.push_back(
        enableDisable("Brownout Detection", byte8051(0, 7, 1, 1), byte8051(0, 7, 1, 0)));
    d.sections.push_back(dependent(section("Voltage", {radio("2.7V", byte8051(0, 6, 1, 1)),
                                                       radio("3.8V", byte8051(0, 6, 1, 0))}),
                                   bod));
    d.sections.push_back(
        dependent(enableDisable("Reset", byte8051(0, 4, 1, 1), byte8051(0, 4, 1, 0)), bod));
}

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

EditorDesc describeEditor(ConfigLayout layout, const PartRecord& part, std::uint32_t index,
                          const ConfigBytes& bytes, bool readOnly) {
    EditorDesc d;
    d.layout = layout;
    d.title = "CONFIG Setting";
    const std::uint32_t aprom = part.apromLastAddress + 1;
    DataFlashPanelDesc panel;
    switch (layout) {
        case ConfigLayout::Kite:
            addKiteFamily(d, part, index, false);
            panel = {512, 0x20000, 1, 0, true};
            break;
        case ConfigLayout::KiteU:
            addKiteFamily(d, part, index, true);
            // A view of a chip whose DataFlash is off spans the APROM alone.
            panel = {512, (readOnly && (bytes[7] & 0x01)) ? aprom : aprom + 0x1000, 1, 0, true};
            break;
        case ConfigLayout::Wren:
            addWren(d);
            panel = {512, dataFlashGeometry(layout, part, bytes)->flashEnd, 1, 0, true};
            break;
        case ConfigLayout::TealA:
        case ConfigLayout::TealB:
            addTeal(d, layout == ConfigLayout::TealB);
            panel = {512, aprom, 1, 0, true};
            break;
        case ConfigLayout::Sonra:
            d.title = "CONFIG Setting for SonraOne";
            addSonra(d);
            panel = {1024, dataFlashGeometry(layout, part, bytes)->flashEnd, 1, 0, true};
            break;
        case ConfigLayout::Ferro:
            d.title = "CONFIG Setting for Ferro";
            addFerro(d);
            panel = {256, 0x10000, 1, 255, false};
            break;
        case ConfigLayout::Pike:
            addPike(d);
            panel = {256, 0x4000, 1, 63, false};
            break;
        case ConfigLayout::Tern:
            addTern(d);
            return d;
        default:
            return d;
    }
    if (panel.maxPages == 0)
        panel.maxPages = panel.flashEnd / panel.pageSize - 1;
    d.dataFlash = panel;
    return d;
}

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
    ConfigEditorModel model(job, partIndex,
                            describeEditor(layout, part, partIndex, bytes, readOnly), readOnly);
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

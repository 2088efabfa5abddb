#include "app/editor_desc.h"

#include "core/word_editor_rows.h"

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

// The sections of a word layout, built from its compiled rows. A section marked for part
// levels takes the part's own brown-out voltages when the catalogue gives it some.
void addWordSections(EditorDesc& d, ConfigLayout layout, const PartRecord& part) {
    const auto toValue = [](const WordBits& bits) {
        return word0(bits.bitLow, bits.width, bits.value);
    };
    const auto roleOf = [](std::string_view role) {
        if (role == "DataFlash")
            return SectionRole::DataFlash;
        if (role == "SizeMode")
            return SectionRole::SizeMode;
        if (role == "Ldrom")
            return SectionRole::Ldrom;
        return SectionRole::Plain;
    };
    const bool partLevels = !part.brownOutLevels[0].empty();
    for (const WordEditorRow& row : wordEditorRows()) {
        if (row.layout != layout)
            continue;
        if (row.section >= d.sections.size()) {
            SectionDesc s = section(std::string(row.title), {}, roleOf(row.role));
            s.enabledBy = row.enabledBy;
            d.sections.push_back(std::move(s));
        }
        SectionDesc& s = d.sections.back();
        const std::string_view caption =
            row.partLevels && partLevels ? part.brownOutLevels[s.radios.size()] : row.caption;
        RadioDesc r{std::string(caption), {toValue(row.writes)}, {}, row.match.width == 0};
        if (!r.fallback)
            r.match.push_back(toValue(row.match));
        s.radios.push_back(std::move(r));
    }
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

}  // namespace

EditorDesc describeEditor(ConfigLayout layout, const PartRecord& part, const ConfigBytes& bytes,
                          bool readOnly) {
    EditorDesc d;
    d.layout = layout;
    d.title = "CONFIG Setting";
    const std::uint32_t aprom = part.apromLastAddress + 1;
    DataFlashPanelDesc panel;
    switch (layout) {
        case ConfigLayout::Kite:
            addWordSections(d, layout, part);
            panel = {512, 0x20000, 1, 0, true};
            break;
        case ConfigLayout::KiteU:
            addWordSections(d, layout, part);
            // A view of a chip whose DataFlash is off spans the APROM alone.
            panel = {512, (readOnly && (bytes[7] & 0x01)) ? aprom : aprom + 0x1000, 1, 0, true};
            break;
        case ConfigLayout::Wren:
            addWordSections(d, layout, part);
            panel = {512, dataFlashGeometry(layout, part, bytes)->flashEnd, 1, 0, true};
            break;
        case ConfigLayout::TealA:
        case ConfigLayout::TealB:
            addWordSections(d, layout, part);
            panel = {512, aprom, 1, 0, true};
            break;
        case ConfigLayout::Sonra:
            d.title = "CONFIG Setting for SonraOne";
            addWordSections(d, layout, part);
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

}  // namespace tarnel

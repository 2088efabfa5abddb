#include "app/editor_desc.h"

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

}  // namespace tarnel

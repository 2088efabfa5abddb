// The CONFIG editor model: opening states, radio writes, spin edges, couplings, views.

#include <gtest/gtest.h>

#include "app/config_editor.h"

using namespace tarnel;

namespace {

struct Editing {
    ProgrammingJob job;
    explicit Editing(std::uint32_t index, std::uint8_t type = kTypeIcp) {
        job.programmerType = type;
        job.partIndex = index;
        job.refreshDerivedState();
        job.catalogue.setLegacyListMasked(false);
    }
    ConfigEditorModel open(bool readOnly = false, const ConfigBytes* source = nullptr) {
        auto model = ConfigEditorModel::open(job, job.partIndex, readOnly, source);
        EXPECT_TRUE(model.has_value());
        return *model;
    }
};

RadioState radio(const ConfigEditorModel& m, std::string_view section, std::string_view caption) {
    const int s = m.sectionIndex(section);
    if (s < 0)
        return {};
    for (const auto& r : m.sections()[static_cast<std::size_t>(s)].radios) {
        if (r.caption == caption)
            return r;
    }
    return {};
}

bool sectionEnabled(const ConfigEditorModel& m, std::string_view section) {
    return m.sections()[static_cast<std::size_t>(m.sectionIndex(section))].enabled;
}

}  // namespace

TEST(ConfigEditor, KiteFixedDataFlashCannotBeSwitched) {
    Editing e(200);
    auto m = e.open();
    EXPECT_TRUE(radio(m, "DataFlash", "Enable").selected);
    EXPECT_FALSE(radio(m, "DataFlash", "Disable").enabled);
    EXPECT_EQ(m.dataFlash().sizeText, "4 KB");
    EXPECT_EQ(m.dataFlash().startText, "0x0001F000");
    const auto before = e.job.configBytes;
    m.clickRadio("DataFlash", "Disable");
    EXPECT_EQ(e.job.configBytes, before);
}

TEST(ConfigEditor, KiteSpinAndRadioWrites) {
    Editing e(207);
    auto m = e.open();
    m.moveSpin(8);  // while DataFlash is disabled, as the default CONFIG0 leaves it
    EXPECT_EQ(e.job.dataFlashPages, 1u);
    m.clickRadio("DataFlash", "Enable");
    EXPECT_TRUE(m.dataFlash().spinEnabled);
    m.moveSpin(8);
    EXPECT_EQ(m.dataFlash().sizeText, "4.0 KB");
    EXPECT_EQ(m.dataFlash().startText, "0x0001F000");
    EXPECT_EQ(config1Word(e.job.configBytes), 0x0001F000u);
    EXPECT_EQ(e.job.dataFlashPages, 8u);
    m.moveSpin(0);  // the up arrow from one page
    EXPECT_EQ(m.dataFlash().spinPosition, 1u);
    EXPECT_EQ(config1Word(e.job.configBytes), 0x0001FE00u);

    m.clickRadio("Clock Source", "External XTAL");
    EXPECT_EQ(config0Word(e.job.configBytes) & 0x07000000u, 0u);
    m.clickRadio("Voltage", "3.8V");
    EXPECT_EQ((config0Word(e.job.configBytes) >> 21) & 3u, 2u);
    m.clickRadio("Brownout Detection", "Disable");
    EXPECT_TRUE(config0Word(e.job.configBytes) & (1u << 23));
    EXPECT_FALSE(sectionEnabled(m, "Voltage"));
    EXPECT_FALSE(radio(m, "Reset", "Enable").enabled);
    m.clickRadio("Brownout Detection", "Enable");
    EXPECT_TRUE(sectionEnabled(m, "Reset"));

    m.clickRadio("DataFlash", "Disable");
    EXPECT_EQ(e.job.configBytes[7] & 1, 1);
    EXPECT_FALSE(m.dataFlash().spinEnabled);
    EXPECT_FALSE(m.dataFlash().textsEnabled);
}

TEST(ConfigEditor, PartLevelsReplaceTheVoltageCaptions) {
    Editing lark(810);
    auto m = lark.open();
    EXPECT_EQ(m.sections()[static_cast<std::size_t>(m.sectionIndex("Voltage"))].radios[0].caption,
              "4.3V");
    EXPECT_FALSE(sectionEnabled(m, "Voltage")) << "default CONFIG0 has detection disabled";
}

TEST(ConfigEditor, ReadOnlyViewChangesNothing) {
    Editing e(207);
    ConfigBytes chip{};
    chip.fill(0xFF);
    setConfig0Word(chip, 0xFF7FFF7D);  // LOCK on, LDROM boot... detection on
    setConfig1Word(chip, 0x0001F000);
    auto m = e.open(true, &chip);
    EXPECT_EQ(m.okCaption(), "Exit");
    EXPECT_TRUE(radio(m, "LOCK (Code Protection)", "Enable").selected);
    EXPECT_TRUE(radio(m, "LOCK (Code Protection)", "Enable").enabled);
    EXPECT_FALSE(radio(m, "LOCK (Code Protection)", "Disable").enabled);
    EXPECT_EQ(m.dataFlash().spinPosition, 8u) << "pages derived from the CONFIG1 read back";
    EXPECT_FALSE(m.dataFlash().spinEnabled);
    const auto before = e.job.configBytes;
    m.clickRadio("LOCK (Code Protection)", "Disable");
    m.moveSpin(3);
    EXPECT_EQ(e.job.configBytes, before);
}

TEST(ConfigEditor, KiteUSizeModes) {
    Editing e(276);
    auto m = e.open();
    EXPECT_TRUE(radio(m, "Variable Size Enable", "Size Fix").selected);
    EXPECT_FALSE(m.dataFlash().spinEnabled);
    EXPECT_EQ(m.dataFlash().spinMax, 4095u);

    m.clickRadio("DataFlash", "Enable");
    m.clickRadio("Variable Size Enable", "Size Variable");
    EXPECT_EQ(e.job.configBytes[7] & 0x04, 0);
    EXPECT_TRUE(m.dataFlash().spinEnabled);
    m.moveSpin(2);
    EXPECT_EQ(config1Word(e.job.configBytes), 0x1F000u + 0x1000u - 1024u);

    m.clickRadio("DataFlash", "Disable");
    EXPECT_EQ(e.job.configBytes[7] & 0x05, 0x05);
    EXPECT_EQ(config1Word(e.job.configBytes), 0x0001F000u);
    EXPECT_TRUE(radio(m, "Variable Size Enable", "Size Fix").selected);
    EXPECT_FALSE(sectionEnabled(m, "Variable Size Enable"));
    m.clickRadio("DataFlash", "Enable");
    EXPECT_TRUE(sectionEnabled(m, "Variable Size Enable"));
    EXPECT_FALSE(m.dataFlash().spinEnabled);

    m.clickRadio("Boot Select", "Boot from page0 of LDROM");
    EXPECT_EQ(e.job.configBytes[7] & 0xC0, 0x00);
}

TEST(ConfigEditor, WrenDetectionSharesVoltageBits) {
    Editing e(850);
    auto m = e.open();
    m.clickRadio("Brownout Detection", "Disable");
    EXPECT_EQ((config0Word(e.job.configBytes) >> 21) & 3u, 3u);
    EXPECT_FALSE(radio(m, "Voltage", "3.8V").selected);
    EXPECT_FALSE(radio(m, "Voltage", "2.7V").selected);
    EXPECT_FALSE(sectionEnabled(m, "Voltage"));
    m.clickRadio("Brownout Detection", "Enable");
    EXPECT_EQ((config0Word(e.job.configBytes) >> 21) & 3u, 1u);
    m.clickRadio("Voltage", "3.8V");
    EXPECT_EQ((config0Word(e.job.configBytes) >> 21) & 3u, 2u);

    // Code 00 reads as 2.7 V with detection on.
    setConfig0Word(e.job.configBytes, 0xFF9FFFFF);
    auto again = e.open();
    EXPECT_TRUE(radio(again, "Voltage", "2.7V").selected);
    EXPECT_TRUE(radio(again, "Brownout Detection", "Enable").selected);
}

TEST(ConfigEditor, SonraLdromCoupling) {
    Editing e(1000);
    auto m = e.open();
    EXPECT_EQ(m.title(), "CONFIG Setting for SonraOne");
    // The span is fixed at opening: a later LDROM change does not move it.
    m.clickRadio("DataFlash", "Enable");
    m.clickRadio("LDROM", "Disable");
    m.moveSpin(2);
    EXPECT_EQ(config1Word(e.job.configBytes), 0x24400u - 2048u);
    EXPECT_EQ(m.dataFlash().sizeText, "2 KB");
}

TEST(ConfigEditor, FerroAndPike) {
    Editing ferro(38, kTypeIsp);
    auto f = ferro.open();
    f.clickRadio("DataFlash", "Enable");
    f.moveSpin(16);
    EXPECT_EQ(f.dataFlash().sizeText, "4.00 KB");
    EXPECT_EQ(f.dataFlash().startText, "0xF000");
    EXPECT_EQ(configByte(ferro.job.configBytes, 1), 0xF0);
    f.clickRadio("LOCK (Code Protection)", "Enable");
    EXPECT_EQ(configByte(ferro.job.configBytes, 0) & 0x06, 0);
    f.clickRadio("Clock Source", "External XTAL");
    EXPECT_TRUE(sectionEnabled(f, "External XTAL"));
    EXPECT_FALSE(sectionEnabled(f, "Internal OSC"));
    f.clickRadio("Clock Source", "Internal OSC");
    EXPECT_FALSE(sectionEnabled(f, "External XTAL"));

    Editing pike(40, kTypeIspByCom);
    auto p = pike.open();
    EXPECT_TRUE(sectionEnabled(p, "Internal OSC"));
    p.clickRadio("Clock Source", "External XTAL");
    EXPECT_EQ(configByte(pike.job.configBytes, 3) & 0x03, 0);
    EXPECT_TRUE(sectionEnabled(p, "Internal OSC")) << "evaluated at opening only";
    p.clickRadio("DataFlash", "Enable");
    p.moveSpin(16);
    EXPECT_EQ(configByte(pike.job.configBytes, 1), 0x30);
    p.moveSpin(200);
    EXPECT_EQ(p.dataFlash().spinPosition, 63u);
}

TEST(ConfigEditor, WhichEditorOpens) {
    Editing teal(901);
    EXPECT_TRUE(ConfigEditorModel::open(teal.job, 901, false).has_value());
    EXPECT_FALSE(ConfigEditorModel::open(teal.job, 105, false).has_value())
        << "bit-table parts use the bit-table dialog";
    EXPECT_FALSE(ConfigEditorModel::open(teal.job, 5000, false).has_value());
    Editing tern(133);
    auto t = tern.open();
    EXPECT_FALSE(t.dataFlash().present);
    t.clickRadio("Brownout Detection", "Disable");
    EXPECT_EQ(configByte(tern.job.configBytes, 0) & 0x80, 0);
    EXPECT_FALSE(sectionEnabled(t, "Voltage"));
}

TEST(BitTableEditor, PagesLockCouplingAndReadouts) {
    Editing e(100);
    BitTableEditorModel m(e.job, 100, false);
    ASSERT_EQ(m.pageCount(), 2);
    EXPECT_EQ(m.page(0)[1].caption, "P1.5 Function");
    EXPECT_FALSE(m.page(0)[0].enabled0) << "Reserved bit 7 is greyed";

    m.clickBit(0, 0, 0);  // FOSC0 := 0 -> FOSC = 00... from 0xFD: bits 1..0 = 01 -> 00
    EXPECT_EQ(m.readouts().clockSource, "External XTAL (4MHz~20MHz)");
    m.clickBit(0, 4, 1);  // BOV
    EXPECT_EQ(m.readouts().brownOutVoltage, "2.5V");

    m.clickBit(1, 7, 0);  // APROM Lock enabled: NVM Lock changeable, still disabled
    EXPECT_TRUE(m.page(1)[1].enabled0);
    EXPECT_EQ(configByte(e.job.configBytes, 1) & 0xC0, 0x40);
    m.clickBit(1, 6, 0);
    m.clickBit(1, 7, 1);  // disabled: NVM Lock forced to disabled and greyed
    EXPECT_EQ(configByte(e.job.configBytes, 1) & 0xC0, 0xC0);
    EXPECT_FALSE(m.page(1)[1].enabled0);
    m.clickBit(1, 6, 0);
    EXPECT_EQ(configByte(e.job.configBytes, 1) & 0x40, 0x40);

    ConfigBytes chip{};
    chip.fill(0xFF);
    BitTableEditorModel view(e.job, 100, true, &chip);
    const auto before = e.job.configBytes;
    view.clickBit(0, 4, 0);
    EXPECT_EQ(e.job.configBytes, before);
    EXPECT_FALSE(view.page(0)[3].enabled0);
    EXPECT_TRUE(view.page(0)[3].enabled1);
}

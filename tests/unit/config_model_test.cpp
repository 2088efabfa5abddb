// CONFIG defaults, layouts, DataFlash geometry, couplings and the bit-table decoder.

#include <gtest/gtest.h>

#include "core/config_model.h"
#include "core/programming_job.h"

using namespace tarnel;

namespace {

ProgrammingJob& select(ProgrammingJob& job, std::uint8_t type, std::uint32_t index) {
    job.programmerType = type;
    job.partIndex = index;
    job.refreshDerivedState();
    return job;
}

}  // namespace

TEST(ConfigDefaults, PerFamily) {
    ProgrammingJob job;
    job.dataFlashPages = 7;

    // Kite with a fixed DataFlash: CONFIG1 stays all ones, the page count is kept.
    select(job, kTypeIcp, 200);
    EXPECT_EQ(config0Word(job.configBytes), 0xFF9FFFFFu);
    EXPECT_EQ(config1Word(job.configBytes), 0xFFFFFFFFu);
    EXPECT_EQ(job.dataFlashPages, 7u);

    // DataFlash inside APROM: one 512-byte page below 0x20000.
    select(job, kTypeIcp, 207);
    EXPECT_EQ(config1Word(job.configBytes), 0x0001FE00u);
    EXPECT_EQ(job.dataFlashPages, 1u);

    job.dataFlashPages = 9;
    select(job, kTypeIcp, 850);
    EXPECT_EQ(config0Word(job.configBytes), 0xFFFFFFFFu);
    EXPECT_EQ(config1Word(job.configBytes), 0xE00u);
    EXPECT_EQ(job.dataFlashPages, 1u);

    select(job, kTypeIcp, 1000);
    EXPECT_EQ(config1Word(job.configBytes), 0x00024000u);

    select(job, kTypeIsp, 37);  // Ferro
    EXPECT_EQ(config0Word(job.configBytes), 0xFDFFFF79u);
    select(job, kTypeIsp, 40);  // legacy Pike
    EXPECT_EQ(config0Word(job.configBytes), 0xFFFF3F7Du);
    select(job, kTypeIcp, 140);  // Family8051 Pike
    EXPECT_EQ(config0Word(job.configBytes), 0xFFFF3FFFu);

    // A plain 8051 part: 0xFD in ICP, all ones outside it, page count unchanged.
    job.dataFlashPages = 5;
    select(job, kTypeIcp, 100);
    EXPECT_EQ(job.configBytes[7], 0xFD);
    select(job, kTypeIsp, 2);
    for (auto byte : job.configBytes) {
        EXPECT_EQ(byte, 0xFF);
    }
    EXPECT_EQ(job.dataFlashPages, 5u);

    // "Reserved(0)" bit 4 of CONFIG0 layout 2 is cleared.
    select(job, kTypeIcp, 111);
    EXPECT_EQ(job.configBytes[7], 0xED);
}

TEST(ConfigLayouts, ChoiceByFlags) {
    ChipCatalogue c;
    c.setLegacyListMasked(false);
    // Each family's own layout shows in its editor's sections (the editor model's tests);
    // here, the choices no editor test opens.
    EXPECT_EQ(configLayoutOf(c.partAt(140)), ConfigLayout::Pike);
    EXPECT_EQ(configLayoutOf(c.partAt(1100)), kMarlConfigLayout);

    PartRecord teal = c.partAt(901);
    teal.partNumber = "QT901-032RA";
    EXPECT_EQ(configLayoutOf(teal), ConfigLayout::TealA);
    teal.partNumber = "QT901-032RB";
    EXPECT_EQ(configLayoutOf(teal), ConfigLayout::TealB);
    teal.partNumber = "QT901-032RC";
    EXPECT_EQ(configLayoutOf(teal), ConfigLayout::None);
}

TEST(ConfigGeometry, PagesAndBase) {
    ChipCatalogue c;
    c.setLegacyListMasked(false);
    ConfigBytes b{};
    b.fill(0xFF);

    // Writing pages and the base they give are the editor's Ferro test.
    setConfigByte(b, 1, 0x9C);
    EXPECT_EQ(dataFlashPagesFromConfig(ConfigLayout::Ferro, c.partAt(38), b), 100u);

    // Read back: a base at or above the span's end means no DataFlash.
    setConfig1Word(b, 0x00020000);
    EXPECT_EQ(dataFlashPagesFromConfig(ConfigLayout::Kite, c.partAt(207), b), 0u);
    setConfig1Word(b, 0x0001F0AB);  // low byte ignored
    EXPECT_EQ(dataFlashPagesFromConfig(ConfigLayout::Kite, c.partAt(207), b), 8u);
}

TEST(ConfigCouplings, SonraLdromAndLocks) {
    ChipCatalogue c;
    ProgrammingJob job;
    select(job, kTypeIcp, 1000);
    auto& b = job.configBytes;
    const std::uint32_t before = config1Word(b);
    setSonraLdrom(b, false);
    EXPECT_EQ(config1Word(b), before - 0x1000);
    setSonraLdrom(b, false);  // already off: nothing
    EXPECT_EQ(config1Word(b), before - 0x1000);
    setSonraLdrom(b, true);
    setSonraLdrom(b, true);  // "Enable" twice adds 0x1000 once
    EXPECT_EQ(config1Word(b), before);

    // The lock coupling of a layout with "NVM Lock" is the bit-table editor's test; CONFIG1
    // layout 2 has no "NVM Lock": bit 6 is left alone.
    PartRecord noNvm = c.partAt(100);
    noNvm.config1Layout = 2;
    setConfigByte(b, 1, 0x00);
    EXPECT_FALSE(writeAPromLock(noNvm, b, true));
    EXPECT_EQ(configByte(b, 1), 0x80);
}

TEST(ConfigDecoder, ClockAndBrownOut) {
    ChipCatalogue c;
    auto d = describeConfig(0xFD, 0xEF, c.partAt(114));
    EXPECT_EQ(d.clockSource, "Internal OSC (5MHz)");
    EXPECT_EQ(d.brownOutVoltage, "2.5V");
    EXPECT_EQ(d.config0Text, "0xFD");
    EXPECT_EQ(d.config1Text, "0xEF");
    EXPECT_EQ(describeConfig(0xFC, 0xEF, c.partAt(114)).clockSource, "External XTAL (4MHz~20MHz)");

    EXPECT_EQ(describeConfig(0x01, 0x20, c.partAt(111)).clockSource, "Internal OSC (22.1184MHz)");
    EXPECT_EQ(describeConfig(0x41, 0x00, c.partAt(111)).brownOutVoltage, "2.7V");
    EXPECT_EQ(describeConfig(0x01, 0x04, c.partAt(131)).brownOutVoltage, "3.8V");
    EXPECT_EQ(describeConfig(0x18, 0x00, c.partAt(122)).brownOutVoltage, "2.6V");
    EXPECT_EQ(describeConfig(0x01, 0x00, c.partAt(105)).clockSource, "Internal OSC (6MHz)");
    EXPECT_EQ(describeConfig(0x02, 0x00, c.partAt(117)).clockSource, "External XTAL (32KHz~1MHz)");
    // A row without CONFIG bytes of its own renders no hex texts.
    EXPECT_TRUE(describeConfig(0, 0, c.partAt(200)).config0Text.empty());
}

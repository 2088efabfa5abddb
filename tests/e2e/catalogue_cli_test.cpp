// The tarnel binary's catalogue commands, run as a script would run them.

#include <gtest/gtest.h>

#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;

namespace {

CliRun cli(const std::string& args) {
    return tarnel::test::run(tarnel::test::kTarnel + " " + args);
}

}  // namespace

TEST(CatalogueCli, PartsListsFamilyRows) {
    const CliRun r = cli("parts --family Vexa_Lark");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  * Vexa_Lark"), std::string::npos);
    EXPECT_NE(r.out.find(" 808  -"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("QK200"), std::string::npos);

    const CliRun isp = cli("parts --type isp");
    EXPECT_NE(isp.out.find("Family list (disabled)"), std::string::npos);
    EXPECT_NE(isp.out.find("  40  -"), std::string::npos) << "legacy Pike rows masked in ISP";
    const CliRun com = cli("parts --type com");
    EXPECT_EQ(com.out.find("  40  -"), std::string::npos);
}

TEST(CatalogueCli, PartShowsDefaultsAndDecoder) {
    const CliRun r = cli("part QK207");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("default CONFIG1    0x0001FE00"), std::string::npos) << r.out;

    const CliRun bits = cli("part QM414");
    EXPECT_NE(bits.out.find("Clock Source:"), std::string::npos) << bits.out;
    EXPECT_NE(bits.out.find("Brownout Voltage:  2.5V"), std::string::npos) << bits.out;
}

TEST(CatalogueCli, PartDecodesGivenConfigWords) {
    // 8051 parts: CONFIG1 is bits 15..8 of the CONFIG0 word, as in the project files.
    CliRun r = cli("part QM414 --config0 FFFFEFFD");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("CONFIG1 bit 4 FS0: 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Clock Source: Internal OSC (5MHz)"), std::string::npos) << r.out;

    r = cli("part SonraOne --config0 FFFFFFFA --config1 00023000");
    EXPECT_NE(r.out.find("LDROM: Disable"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("DataFlash Size: 1 KB, Start Address: 0x00023000"), std::string::npos)
        << r.out;
    EXPECT_EQ(cli("part QK200 --config0 XYZ").status, 2);
}

TEST(CatalogueCli, ErrorsAndUsage) {
    // No such part, whatever the size of the number: a clear error, never a wrapped index.
    for (const char* part : {"NOSUCHPART", "1104", "4294967503", "99999999999999999999999"}) {
        const CliRun r = cli(std::string("part ") + part);
        EXPECT_EQ(r.status, 2) << part;
        EXPECT_NE(r.out.find("no part"), std::string::npos) << r.out;
    }
    EXPECT_EQ(cli("parts --type jtag").status, 2);
    EXPECT_EQ(cli("parts --family Unknown").status, 2);
    EXPECT_EQ(cli("").status, 2);
    const CliRun help = cli("part --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("NUMBER"), std::string::npos);
}

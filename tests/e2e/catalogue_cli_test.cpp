// The tarnel binary's catalogue commands, run as a script would run them.

#include <gtest/gtest.h>

#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::ran;
using tarnel::test::tarnelRun;

TEST(CatalogueCli, PartsListsFamilyRows) {
    const CliRun r = tarnelRun("parts --family Vexa_Lark");
    EXPECT_TRUE(ran(r, 0, {"  * Vexa_Lark", " 808  -"}));
    EXPECT_EQ(r.out.find("QK200"), std::string::npos);
    // Legacy Pike rows are listed masked in ISP (which modes mask is the part lists' tests).
    EXPECT_TRUE(ran(tarnelRun("parts --type isp"), 0, {"Family list (disabled)", "  40  -"}));
}

TEST(CatalogueCli, PartShowsDefaultsAndDecodesGivenConfigWords) {
    EXPECT_TRUE(ran(tarnelRun("part QK207"), 0, {"default CONFIG1    0x0001FE00"}));
    // 8051 parts: CONFIG1 is bits 15..8 of the CONFIG0 word, as in the project files.
    EXPECT_TRUE(ran(tarnelRun("part QM414 --config0 FFFFEFFD"), 0,
                    {"CONFIG1 bit 4 FS0: 0", "Clock Source: Internal OSC (5MHz)"}));
    EXPECT_TRUE(ran(tarnelRun("part SonraOne --config0 FFFFFFFA --config1 00023000"), 0,
                    {"LDROM: Disable", "DataFlash Size: 1 KB, Start Address: 0x00023000"}));
    EXPECT_EQ(tarnelRun("part QK200 --config0 XYZ").status, 2);
}

TEST(CatalogueCli, ErrorsAndUsage) {
    // No such part, whatever the size of the number: a clear error, never a wrapped index.
    for (const char* part : {"NOSUCHPART", "1104", "4294967503", "99999999999999999999999"})
        EXPECT_TRUE(ran(tarnelRun(std::string("part ") + part), 2, {"no part"}));
    for (const char* args : {"parts --type jtag", "parts --family Unknown", ""})
        EXPECT_EQ(tarnelRun(args).status, 2) << args;
    EXPECT_TRUE(ran(tarnelRun("part --help"), 0, {"NUMBER"}));
}

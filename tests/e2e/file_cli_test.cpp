// tarnel hex2bin and tarnel project, run as a line engineer's script runs them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::ran;
using tarnel::test::readBytes;
using tarnel::test::ScratchDir;
using tarnel::test::tarnelRun;

TEST(FileCli, HexToBinary) {
    ScratchDir dir;
    dir.write("app.hex", ":0400100001020304E2\n:00000001FF\n");
    EXPECT_TRUE(ran(tarnelRun("hex2bin " + dir.file("app.hex") + " " + dir.file("app.bin")), 0,
                    {"Length:   20 Bytes", "Checksum: 0x0000000A"}));
    EXPECT_EQ(readBytes(dir.file("app.bin")).size(), 20u);

    dir.write("bad.hex", ":0400100001020304E3\n:00000001FF\n");
    const CliRun bad = tarnelRun("hex2bin " + dir.file("bad.hex") + " " + dir.file("bad.bin"));
    EXPECT_TRUE(ran(bad, 4, {"Hex_to_Bin conversion failed ! (line 1: record checksum mismatch)"}));
    EXPECT_TRUE(readBytes(dir.file("bad.bin")).empty()) << "nothing written";
}

TEST(FileCli, ProjectSaveAndShow) {
    ScratchDir dir;
    dir.write("app.bin", std::string(300, '\x01'));
    const std::string tpj = dir.file("line.TPJ");
    ASSERT_TRUE(
        ran(tarnelRun("project save " + tpj + " --part QK207 --aprom " + dir.file("app.bin") +
                      " --config0 FFFFFF7F --serial 123456789012 --serial-address 1000"
                      " --chip-counter 12 --count-down --usage-times 60000"),
            0));
    EXPECT_EQ(readBytes(tpj).size(), 256u + 80 + 300);

    EXPECT_TRUE(ran(tarnelRun("project show " + tpj), 0,
                    {"\"QK207\", catalogue index 207", "0x01 (ICP)", "0x89 (ICP, APROM, CONFIG)",
                     "CONFIG0:          0xFFFFFF7F", "S/N 0000123456789012", "address 0x01000",
                     "count down, 12", "enabled, 60000 times",
                     "\"app.bin\", 300 Bytes, checksum 0x0000012C", "DataFlash:        (none)"}));
}

// Inputs that are not regular files are refused at once (a FIFO would wait for a writer
// for ever); text from a file reaches the terminal with its control characters escaped; a
// missing image is an input error.
TEST(FileCli, HostileAndBrokenInputs) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("f.hex").c_str(), 0600), 0);
    EXPECT_TRUE(ran(tarnelRun("hex2bin " + dir.file("f.hex") + " " + dir.file("o.bin")), 4,
                    {"is not a regular file"}));
    EXPECT_TRUE(ran(tarnelRun("project show " + dir.file("f.hex")), 4, {"is not a regular file"}));
    EXPECT_TRUE(
        ran(tarnelRun("project save " + dir.file("x.TPJ") + " --aprom " + dir.file("f.hex")), 2,
            {"--aprom " + dir.file("f.hex") + " is not a regular file"}));

    const std::string evil = dir.write("a\x1b]0;owned\x07\x1b[2J.bin", std::string(4, '\x01'));
    const std::string tpj = dir.file("evil.TPJ");
    ASSERT_EQ(tarnelRun("project save " + tpj + " --part QK207 --aprom '" + evil + "'").status, 0);
    const CliRun shown = tarnelRun("project show " + tpj);
    EXPECT_TRUE(ran(shown, 0, {"a\\x1B]0;owned\\x07\\x1B[2J.bin"}));
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos) << "no raw escape reaches the terminal";

    EXPECT_TRUE(
        ran(tarnelRun("project save " + dir.file("x.TPJ") + " --aprom " + dir.file("none.bin")), 4,
            {"FAIL: Open APROM file error !"}));
}

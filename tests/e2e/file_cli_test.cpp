// tarnel hex2bin and tarnel project, run as a line engineer's script runs them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/cli_process.h"

using tarnel::test::CliRun;
using tarnel::test::readBytes;
using tarnel::test::ScratchDir;

namespace {

CliRun runTarnel(const std::string& args) {
    return tarnel::test::run(tarnel::test::kTarnel + " " + args);
}

bool has(const CliRun& run, const std::string& text) {
    return tarnel::test::contains(run.out, text);
}

}  // namespace

TEST(FileCli, HexToBinary) {
    ScratchDir dir;
    dir.write("app.hex", ":0400100001020304E2\n:00000001FF\n");
    const CliRun ok = runTarnel("hex2bin " + dir.file("app.hex") + " " + dir.file("app.bin"));
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_TRUE(has(ok, "Length:   20 Bytes")) << ok.out;
    EXPECT_TRUE(has(ok, "Checksum: 0x0000000A")) << ok.out;
    EXPECT_EQ(readBytes(dir.file("app.bin")).size(), 20u);

    dir.write("bad.hex", ":0400100001020304E3\n:00000001FF\n");
    const CliRun bad = runTarnel("hex2bin " + dir.file("bad.hex") + " " + dir.file("bad.bin"));
    EXPECT_EQ(bad.status, 4);
    EXPECT_TRUE(has(bad, "Hex_to_Bin conversion failed ! (line 1: record checksum mismatch)"))
        << bad.out;
    EXPECT_TRUE(readBytes(dir.file("bad.bin")).empty()) << "nothing written";
}

TEST(FileCli, ProjectSaveAndShow) {
    ScratchDir dir;
    dir.write("app.bin", std::string(300, '\x01'));
    const std::string tpj = dir.file("line.TPJ");
    const CliRun save =
        runTarnel("project save " + tpj + " --part QK207 --aprom " + dir.file("app.bin") +
                  " --config0 FFFFFF7F --serial 123456789012 --serial-address 1000"
                  " --chip-counter 12 --count-down --usage-times 60000");
    ASSERT_EQ(save.status, 0) << save.out;
    EXPECT_EQ(readBytes(tpj).size(), 256u + 80 + 300);

    const CliRun show = runTarnel("project show " + tpj);
    EXPECT_EQ(show.status, 0) << show.out;
    for (const char* line :
         {"\"QK207\", catalogue index 207", "0x01 (ICP)", "0x89 (ICP, APROM, CONFIG)",
          "CONFIG0:          0xFFFFFF7F", "S/N 0000123456789012", "address 0x01000",
          "count down, 12", "enabled, 60000 times", "\"app.bin\", 300 Bytes, checksum 0x0000012C",
          "DataFlash:        (none)"}) {
        EXPECT_TRUE(has(show, line)) << line << "\n" << show.out;
    }
}

// Inputs that are not regular files are refused at once (a FIFO would wait for a writer
// for ever); text from a file reaches the terminal with its control characters escaped.
TEST(FileCli, HostileInputs) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("f.hex").c_str(), 0600), 0);
    const CliRun hex = runTarnel("hex2bin " + dir.file("f.hex") + " " + dir.file("o.bin"));
    EXPECT_EQ(hex.status, 4);
    EXPECT_TRUE(has(hex, "is not a regular file")) << hex.out;
    const CliRun show = runTarnel("project show " + dir.file("f.hex"));
    EXPECT_EQ(show.status, 4);
    EXPECT_TRUE(has(show, "is not a regular file")) << show.out;
    const CliRun aprom =
        runTarnel("project save " + dir.file("x.TPJ") + " --aprom " + dir.file("f.hex"));
    EXPECT_EQ(aprom.status, 2);
    EXPECT_TRUE(has(aprom, "--aprom " + dir.file("f.hex") + " is not a regular file")) << aprom.out;

    const std::string evil = dir.write("a\x1b]0;owned\x07\x1b[2J.bin", std::string(4, '\x01'));
    const std::string tpj = dir.file("evil.TPJ");
    ASSERT_EQ(runTarnel("project save " + tpj + " --part QK207 --aprom '" + evil + "'").status, 0);
    const CliRun shown = runTarnel("project show " + tpj);
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos) << "no raw escape reaches the terminal";
    EXPECT_TRUE(has(shown, "a\\x1B]0;owned\\x07\\x1B[2J.bin")) << shown.out;
}

TEST(FileCli, ProjectErrors) {
    ScratchDir dir;
    const CliRun missing =
        runTarnel("project save " + dir.file("x.TPJ") + " --aprom " + dir.file("none.bin"));
    EXPECT_EQ(missing.status, 4);
    EXPECT_TRUE(has(missing, "FAIL: Open APROM file error !")) << missing.out;

    dir.write("short.TPJ", "Corvale TPJ A1.0");
    const CliRun shortFile = runTarnel("project show " + dir.file("short.TPJ"));
    EXPECT_EQ(shortFile.status, 4);
    EXPECT_TRUE(has(shortFile, "TPJ format error ! (file shorter than its header)"))
        << shortFile.out;
}

// The tarnel binary's catalogue commands, run as a script would run them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

struct CliRun {
    int status = -1;
    std::string out;  // stdout and stderr together
};

CliRun tarnel(const std::string& args) {
    const std::string command =
        std::string(TARNEL_BINARY_DIR) + "/src/cli/tarnel " + args + " 2>&1";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

}  // namespace

TEST(CatalogueCli, PartsListsFamilyRows) {
    const CliRun r = tarnel("parts --family Vexa_Lark");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  * Vexa_Lark"), std::string::npos);
    EXPECT_NE(r.out.find(" 808  -"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("QK200"), std::string::npos);

    const CliRun isp = tarnel("parts --type isp");
    EXPECT_NE(isp.out.find("Family list (disabled)"), std::string::npos);
    EXPECT_NE(isp.out.find("  40  -"), std::string::npos) << "legacy Pike rows masked in ISP";
    const CliRun com = tarnel("parts --type com");
    EXPECT_EQ(com.out.find("  40  -"), std::string::npos);
}

TEST(CatalogueCli, PartShowsDefaultsAndDecoder) {
    const CliRun r = tarnel("part QK207");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("default CONFIG1    0x0001FE00"), std::string::npos) << r.out;

    const CliRun bits = tarnel("part QM414");
    EXPECT_NE(bits.out.find("Clock Source:"), std::string::npos) << bits.out;
    EXPECT_NE(bits.out.find("Brownout Voltage:  2.5V"), std::string::npos) << bits.out;
}

TEST(CatalogueCli, ErrorsAndUsage) {
    EXPECT_EQ(tarnel("part NOSUCHPART").status, 1);
    EXPECT_EQ(tarnel("part 1104").status, 1);
    EXPECT_EQ(tarnel("parts --type jtag").status, 2);
    EXPECT_EQ(tarnel("parts --family Unknown").status, 2);
    EXPECT_EQ(tarnel("").status, 2);
    const CliRun help = tarnel("part --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("NUMBER"), std::string::npos);
}

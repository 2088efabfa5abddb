// Line files: what a good one becomes, and the message each fault gets.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/line_file.h"
#include "support/scratch_dir.h"

namespace tarnel {
namespace {

// A path in one spelling, whatever its separators.
std::filesystem::path same(const std::string& path) {
    return std::filesystem::path(path).lexically_normal();
}

TEST(LineFile, ResolvesPathsBesideTheFileAndSplitsSerialDigits) {
    test::ScratchDir dir;
    dir.write("job.TPJ", "x");
    const std::string elsewhere = std::filesystem::path(dir.file("elsewhere")).generic_string();
    const std::string path = dir.write("line.json", R"({
        "stations": [{"name": "A", "port": "/dev/serial/by-id/usb-Corvale_ICP_0001-if00",
                      "project": "job.TPJ"},
                     {"name": "isp_2", "kind": "isp", "port": "/dev/ttyUSB1",
                      "project": "job.TPJ", "workDirectory": ")" +
                                                        elsewhere + R"("}],
        "ledger": "postgresql://line/serials",
        "serial": {"first": "1234567800000099", "increment": "5"}})");
    std::string error;
    const auto setup = loadLineFile(path, &error);
    ASSERT_TRUE(setup) << error;
    ASSERT_EQ(setup->stations.size(), 2u);
    EXPECT_EQ(setup->stations[0].kind, StationKind::Programmer);
    EXPECT_EQ(same(setup->stations[0].project), same(dir.file("job.TPJ")));
    EXPECT_EQ(same(setup->stations[0].workDirectory), same(dir.file("stations/A")));
    EXPECT_EQ(setup->stations[1].kind, StationKind::IspComPort);
    EXPECT_EQ(same(setup->stations[1].workDirectory), same(elsewhere));
    EXPECT_EQ(setup->ledger, "postgresql://line/serials");
    EXPECT_EQ(same(setup->record), same(dir.file("records")));
    EXPECT_EQ(setup->firstSerial, (SerialValue{12345678, 99}));
    EXPECT_EQ(setup->serialIncrement, (SerialValue{0, 5}));
}

TEST(LineFile, EachFaultIsNamedWithTheFile) {
    test::ScratchDir dir;
    dir.write("job.TPJ", "x");
    const std::string a = R"({"name": "A", "port": "/dev/ttyUSB0", "project": "job.TPJ"})";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{", "is not valid JSON"},
        {R"({"stations": []})", "\"stations\" must be a non-empty list"},
        {R"({"stations": [{"port": "/dev/ttyUSB0", "project": "job.TPJ"}]})",
         "station 1 has no \"name\""},
        {R"({"stations": [)" + a + "," + a + "]}", "two stations are named \"A\""},
        {R"({"stations": [{"name": "A b", "port": "p", "project": "job.TPJ"}]})",
         "name \"A b\" must be"},
        {R"({"stations": [{"name": "A", "kind": "robot", "port": "p", "project": "job.TPJ"}]})",
         "station \"A\": unknown kind \"robot\""},
        {R"({"stations": [{"name": "A", "project": "job.TPJ"}]})", "station \"A\" has no \"port\""},
        {R"({"stations": [{"name": "A", "port": "p"}]})", "station \"A\" has no \"project\""},
        {R"({"stations": [{"name": "A", "port": "p", "project": "gone.TPJ"}]})",
         "gone.TPJ does not exist"},
        {R"({"stations": [)" + a + R"(], "serial": {"first": "12x"}})",
         "serial \"first\" must be a string of 1 to 16 decimal digits"},
        {R"({"stations": [)" + a + R"(], "serial": {"increment": "12345678901234567"}})",
         "serial \"increment\" must be a string of 1 to 16 decimal digits"},
        {R"({"stations": [)" + a + R"(], "serial": {"increment": "0"}})", "must not be zero"},
    };
    for (const auto& [text, fault] : cases) {
        SCOPED_TRACE(text);
        const std::string path = dir.write("line.json", text);
        std::string error;
        EXPECT_FALSE(loadLineFile(path, &error));
        EXPECT_EQ(error.rfind("Line file ", 0), 0u) << error;
        EXPECT_NE(error.find("line.json: "), std::string::npos) << error;
        EXPECT_NE(error.find(fault), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(loadLineFile(dir.file("none.json"), &error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
    // A directory (or a FIFO: it would block the open) is refused, not read.
    EXPECT_FALSE(loadLineFile(dir.path(), &error));
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarnel

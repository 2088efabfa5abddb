// Port names, the POSIX port table, and how remembered names map onto it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "link/port_table.h"
#include "support/link_bench.h"

namespace tarnel {
namespace {

TEST(PortTable, SlotNames) {
    EXPECT_EQ(slotName(9), "\\\\.\\COM9");
    EXPECT_EQ(slotName(256), "\\\\.\\COM256");
    EXPECT_EQ(slotName(0), "");
    EXPECT_EQ(slotName(257), "");

    EXPECT_EQ(slotOfName("\\\\.\\COM1"), 1);
    EXPECT_EQ(slotOfName("\\\\.\\COM256"), 256);
    EXPECT_EQ(slotOfName("\\\\.\\COM257"), 0);
    EXPECT_EQ(slotOfName("\\\\.\\COM0"), 0);
    EXPECT_EQ(slotOfName("\\\\.\\COM07"), 0);
    EXPECT_EQ(slotOfName("\\\\.\\COM"), 0);
    EXPECT_EQ(slotOfName("\\\\.\\COM1x"), 0);
    EXPECT_EQ(slotOfName("/dev/ttyS0"), 0);

    EXPECT_EQ(portDisplayName("\\\\.\\COM3"), "COM3");
    EXPECT_EQ(portDisplayName("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(portDisplayName("/tmp/sim"), "/tmp/sim");
}

TEST(PortTable, NaturalOrder) {
    EXPECT_TRUE(naturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(naturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(naturalLess("ttyS1", "ttyS01a"));
    EXPECT_FALSE(naturalLess("ttyS3", "ttyS3"));
}

#if !defined(_WIN32)  // the POSIX table: colon-separated paths, /dev names
TEST(PortTable, EnvironmentPathsFirstThenDevicesByKind) {
    test::ScratchDir dev;
    for (const char* name : {"ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS", "tty5",
                             "ttySX1", "rfcomm0", "ttyAMA0"}) {
        std::ofstream(dev.file(name)).put('x');
    }
    const std::string d = dev.path();
    const auto table = buildPosixPortTable(("/tmp/a::/tmp/b:" + d + "/ttyS2").c_str(), d);
    const std::vector<std::string> expected = {"/tmp/a",       "/tmp/b",       d + "/ttyS2",
                                               d + "/ttyUSB0", d + "/ttyUSB1", d + "/ttyACM0",
                                               d + "/ttyS10",  d + "/ttyAMA0", d + "/rfcomm0"};
    EXPECT_EQ(table, expected);
    EXPECT_TRUE(buildPosixPortTable(nullptr, d + "/missing").empty());
}
#endif

TEST(PortTable, TableIsCutAt256Slots) {
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "/p" + std::to_string(i) + ":";
    const auto table = buildPosixPortTable(many.c_str(), "/nonexistent-dir");
    ASSERT_EQ(table.size(), 256u);
    EXPECT_EQ(table.back(), "/p255");
}

TEST(PortTable, RememberedNamesMapOntoTheTable) {
    const std::vector<std::string> table = {"/tmp/tarnel-very-long/sim-port", "/dev/ttyUSB0"};
    // A slot name goes through the table; slots past its end name no device.
    EXPECT_EQ(deviceForName("\\\\.\\COM1", table), "/tmp/tarnel-very-long/sim-port");
    EXPECT_EQ(deviceForName("\\\\.\\COM3", table), "");
    EXPECT_EQ(deviceForName("/dev/ttyS4", table), "/dev/ttyS4");
    EXPECT_EQ(deviceForName("ttyS4", table), "/dev/ttyS4");
    EXPECT_EQ(deviceForName("", table), "");

    // What is remembered always fits the 16-byte field.
    EXPECT_EQ(rememberedNameForSlot(1, table), "\\\\.\\COM1");
    EXPECT_EQ(rememberedNameForSlot(2, table), "/dev/ttyUSB0");
    EXPECT_EQ(rememberedNameForSlot(3, table), "");

    // Names as the operator gives them.
    EXPECT_EQ(rememberedNameFor("ttyUSB0", table), "/dev/ttyUSB0");
    EXPECT_EQ(rememberedNameFor("/tmp/tarnel-very-long/sim-port", table), "\\\\.\\COM1");
    EXPECT_EQ(rememberedNameFor("COM7", table), "\\\\.\\COM7");
    EXPECT_EQ(rememberedNameFor("ttyS3", table), "/dev/ttyS3");
    EXPECT_EQ(rememberedNameFor("/somewhere/far/too/long/to/keep", table), "");
}

#if !defined(_WIN32)
TEST(PortTable, StableNamesStandForTheDeviceTheyLinkTo) {
    test::ScratchDir dev;
    std::ofstream(dev.file("ttyUSB0")).put('x');
    std::ofstream(dev.file("ttyUSB1")).put('x');
    std::filesystem::create_directories(dev.file("serial/by-id"));
    const std::string stable = dev.file("serial/by-id/usb-Maker_Adapter_A1B2-if00-port0");
    std::filesystem::create_symlink("../../ttyUSB1", stable);

    // Found by scanning: the link means the slot of the device it points at.
    const auto scanned = buildPosixPortTable(nullptr, dev.path());
    EXPECT_EQ(rememberedNameFor(stable, scanned), "\\\\.\\COM2");
    // Listed in TARNEL_PORTS, the link itself takes slot 1, whatever ttyUSB it is today.
    const auto listed = buildPosixPortTable(stable.c_str(), dev.path());
    EXPECT_EQ(rememberedNameFor(stable, listed), "\\\\.\\COM1");
    EXPECT_EQ(deviceForName("\\\\.\\COM1", listed), stable);
    // A dangling link names nothing.
    std::filesystem::remove(dev.file("ttyUSB1"));
    EXPECT_EQ(rememberedNameFor(stable, buildPosixPortTable(nullptr, dev.path())), "");
}
#endif

}  // namespace
}  // namespace tarnel

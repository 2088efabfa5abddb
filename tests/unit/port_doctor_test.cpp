// The connection doctor on fake /dev, sysfs, /proc and group trees.

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "link/port_doctor.h"
#include "support/scratch_dir.h"

namespace tarnel {
namespace {

namespace fs = std::filesystem;

bool mentions(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

// /dev/ttyUSB0 of an FTDI adapter with its stable names, sysfs entry and a group file.
class FakeSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path root = dir.path();
        paths.dev = (root / "dev").string();
        paths.sysClassTty = (root / "sys/class/tty").string();
        paths.proc = (root / "proc").string();
        paths.groupFile = (root / "group").string();
        paths.lockDirs = {(root / "lock").string()};
        for (const char* sub : {"dev/serial/by-id", "dev/serial/by-path", "sys/class/tty", "proc",
                                "lock", "sys/bus/usb-serial/drivers/ftdi_sio"})
            fs::create_directories(root / sub);
        device = (root / "dev/ttyUSB0").string();
        std::ofstream(device).put('x');
        fs::permissions(device, fs::perms::owner_read | fs::perms::owner_write |
                                    fs::perms::group_read | fs::perms::group_write);
        fs::create_symlink("../../ttyUSB0",
                           root / "dev/serial/by-id/usb-FTDI_Cable_A1B2-if00-port0");
        fs::create_symlink("../../ttyUSB0",
                           root / "dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");

        const fs::path usb = root / "sys/devices/usb1/1-2";
        const fs::path port = usb / "1-2:1.0/ttyUSB0";
        fs::create_directories(port);
        write(usb / "idVendor", "0403");
        write(usb / "idProduct", "6001");
        write(usb / "serial", "A1B2");
        write(usb / "manufacturer", "FTDI");
        write(usb / "product", "FT232R USB UART");
        write(port / "latency_timer", "16");
        fs::create_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", port / "driver");
        fs::create_directories(root / "sys/class/tty/ttyUSB0");
        fs::create_symlink(port, root / "sys/class/tty/ttyUSB0/device");

        struct stat info {};
        ASSERT_EQ(::stat(device.c_str(), &info), 0);
        deviceGroup = info.st_gid;
        write(paths.groupFile, "staff:x:" + std::to_string(deviceGroup + 1) +
                                   ":bob\ndialout:x:" + std::to_string(deviceGroup) + ":alice\n");
    }

    static void write(const fs::path& path, const std::string& text) {
        std::ofstream(path) << text << "\n";
    }

    void addProcess(const std::string& pid, const std::string& name, const std::string& opened) {
        const fs::path process = fs::path(paths.proc) / pid;
        fs::create_directories(process / "fd");
        write(process / "comm", name);
        if (!opened.empty())
            fs::create_symlink(opened, process / "fd" / "7");
    }

    // A user who neither owns the device nor is in its group.
    DoctorUser outsider(const std::string& name) const {
        return DoctorUser{name, ::getuid() + 4242, {deviceGroup + 4242}};
    }

    test::ScratchDir dir;
    DoctorPaths paths;
    std::string device;
    unsigned deviceGroup = 0;
};

TEST_F(FakeSystem, UsbAdapterIsDescribedWithItsStableNames) {
    const DoctorUser member{"carol", ::getuid() + 4242, {deviceGroup}};
    const PortReport report = examinePort(device, paths, member);
    EXPECT_EQ(report.access, PortAccess::Ok);
    ASSERT_EQ(report.stableNames.size(), 2u);
    EXPECT_NE(report.stableNames[0].find("/by-id/usb-FTDI_Cable_A1B2"), std::string::npos);
    EXPECT_NE(report.stableNames[1].find("/by-path/"), std::string::npos);
    EXPECT_EQ(stableNameOf(report), report.stableNames[0]);
    EXPECT_EQ(report.usbId, "0403:6001");
    EXPECT_EQ(report.usbSerial, "A1B2");
    EXPECT_EQ(report.usbDescription, "FTDI FT232R USB UART");
    EXPECT_EQ(report.driver, "ftdi_sio");
    EXPECT_EQ(report.latencyTimerMs, 16);
    EXPECT_TRUE(mentions(report.advice, "echo 1 | sudo tee")) << "latency timer above 1 ms";

    const std::string text = formatReport(report);
    EXPECT_NE(text.find("USB: 0403:6001, serial A1B2 (FTDI FT232R USB UART)"), std::string::npos);
    EXPECT_NE(text.find("this user may open it"), std::string::npos);

    // The stable name leads to the same report.
    EXPECT_EQ(examinePort(report.stableNames[0], paths, member).usbId, "0403:6001");
}

TEST_F(FakeSystem, PermissionDeniedNamesTheGroupAndTheCommand) {
    PortReport report = examinePort(device, paths, outsider("bob"));
    EXPECT_EQ(report.access, PortAccess::NoPermission);
    EXPECT_NE(report.reason.find("group dialout with mode 0660"), std::string::npos)
        << report.reason;
    EXPECT_TRUE(mentions(report.advice, "sudo usermod -aG dialout bob"));
    EXPECT_TRUE(mentions(report.advice, "70-tarnel-usb-serial.rules"));

    // Listed in the group file but not in this session's groups: logging in again is the fix.
    report = examinePort(device, paths, outsider("alice"));
    EXPECT_EQ(report.access, PortAccess::NoPermission);
    EXPECT_TRUE(mentions(report.advice, "log out and in again (or run `newgrp dialout`)"));
    EXPECT_FALSE(mentions(report.advice, "usermod"));
}

TEST_F(FakeSystem, BusyPortNamesTheProcessThatHoldsIt) {
    addProcess("4321", "minicom", device);
    addProcess("77", "bash", "");
    PortReport report = examinePort(device, paths, DoctorUser{"root", 0, {0}});
    EXPECT_EQ(report.access, PortAccess::InUse);
    EXPECT_EQ(report.holders, std::vector<std::string>{"minicom (pid 4321)"});
    EXPECT_TRUE(mentions(report.advice, "fuser -v"));

    // A port that ModemManager holds gets advice about ModemManager.
    fs::remove_all(fs::path(paths.proc) / "4321");
    addProcess("555", "ModemManager", device);
    report = examinePort(device, paths, DoctorUser{"root", 0, {0}});
    EXPECT_EQ(report.access, PortAccess::InUse);
    EXPECT_TRUE(mentions(report.advice, "ModemManager is probing"));
    EXPECT_TRUE(mentions(report.advice, "ID_MM_DEVICE_IGNORE"));
}

TEST_F(FakeSystem, LockFilesOfLiveAndVanishedProcesses) {
    addProcess("4321", "cu", "");
    write(paths.lockDirs[0] + "/LCK..ttyUSB0", "      4321");
    PortReport report = examinePort(device, paths, DoctorUser{"root", 0, {0}});
    EXPECT_EQ(report.access, PortAccess::InUse);
    ASSERT_EQ(report.holders.size(), 1u);
    EXPECT_NE(report.holders[0].find("cu (pid 4321, lock file "), std::string::npos);

    fs::remove_all(fs::path(paths.proc) / "4321");
    report = examinePort(device, paths, DoctorUser{"root", 0, {0}});
    EXPECT_EQ(report.access, PortAccess::Ok);
    EXPECT_TRUE(mentions(report.advice, "stale lock file"));
}

// A missing device is pinned by the doctor run against the simulator's absent slot.
TEST_F(FakeSystem, DanglingStableLinkIsAMissingDevice) {
    fs::remove(device);
    const PortReport dangling =
        examinePort(dir.file("dev/serial/by-id/usb-FTDI_Cable_A1B2-if00-port0"), paths,
                    DoctorUser{"root", 0, {0}});
    EXPECT_EQ(dangling.access, PortAccess::Missing);
}

}  // namespace
}  // namespace tarnel

#endif  // _WIN32

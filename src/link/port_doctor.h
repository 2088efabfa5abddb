#pragma once
// The connection doctor: what the system knows about each serial port (stable names, USB
// identity, driver, the FTDI latency timer) and whether this user can open it, and if not,
// why and what to do. It reads the device nodes, sysfs and /proc and opens nothing; the
// probe for a programmer is the caller's (it opens the port). Every root path is a field of
// DoctorPaths so that tests run it on a fake tree.

#include <optional>
#include <string>
#include <vector>

namespace tarnel {

struct DoctorPaths {
    std::string dev = "/dev";  // serial/by-id and serial/by-path are under it
    std::string sysClassTty = "/sys/class/tty";
    std::string proc = "/proc";
    std::string groupFile = "/etc/group";
    std::vector<std::string> lockDirs = {"/var/lock", "/run/lock"};
};

// Who asks: the user's name, user id and the groups this process runs with.
struct DoctorUser {
    std::string name;
    unsigned uid = 0;
    std::vector<unsigned> groups;
    static DoctorUser current();
};

// InUse: another process has it open or locked. Opening it may then fail (EBUSY, when that
// process holds it exclusively) and two programs on one line garble each other's bytes; only
// an open tells, which the doctor leaves to the probe.
enum class PortAccess { Ok, Missing, NoPermission, InUse };

struct PortReport {
    std::string device;
    std::vector<std::string> stableNames;  // links in /dev/serial/by-id and by-path
    std::string usbId;                     // "vvvv:pppp"; empty when not a USB device
    std::string usbSerial;
    std::string usbDescription;  // manufacturer and product strings
    std::string driver;
    std::optional<int> latencyTimerMs;  // FTDI adapters
    PortAccess access = PortAccess::Ok;
    std::string reason;                // why it cannot be opened
    std::vector<std::string> holders;  // "name (pid N)" of processes that hold it
    std::vector<std::string> advice;   // what to do, one line each
};

PortReport examinePort(const std::string& device, const DoctorPaths& paths, const DoctorUser& user);

// The report as the doctor prints it, without the probe's result.
std::string formatReport(const PortReport& report);

// The name to use for a port in a script: its first by-id name, else the device itself.
std::string stableNameOf(const PortReport& report);

}  // namespace tarnel

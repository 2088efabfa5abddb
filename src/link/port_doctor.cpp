#include "link/port_doctor.h"

#if !defined(_WIN32)

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tarnel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kModemManager = "ModemManager";
constexpr int kAdvisedLatencyMs = 1;
constexpr const char* kUdevRule = "/usr/share/tarnel/udev/70-tarnel-usb-serial.rules";

// The first line of a small text file, without trailing white space; empty when unreadable.
std::string firstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

fs::path canonicalOrEmpty(const fs::path& path) {
    std::error_code error;
    fs::path result = fs::canonical(path, error);
    return error ? fs::path{} : result;
}

std::vector<std::string> linksTo(const fs::path& directory, const fs::path& target) {
    std::vector<std::string> links;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (canonicalOrEmpty(it->path()) == target)
            links.push_back(it->path().string());
    }
    std::sort(links.begin(), links.end());
    return links;
}

// USB identity, driver and latency timer from the tty's sysfs entry.
void readSysfs(PortReport& report, const DoctorPaths& paths, const fs::path& ttyName) {
    const fs::path device = canonicalOrEmpty(fs::path(paths.sysClassTty) / ttyName / "device");
    if (device.empty())
        return;
    report.driver = canonicalOrEmpty(device / "driver").filename().string();
    if (const std::string latency = firstLine(device / "latency_timer"); !latency.empty()) {
        try {
            report.latencyTimerMs = std::stoi(latency);
        } catch (const std::exception&) {
        }
    }
    // The USB device is the nearest ancestor with a vendor id (interface, then device).
    fs::path dir = device;
    for (int level = 0; level < 4 && !dir.empty() && dir != dir.root_path();
         ++level, dir = dir.parent_path()) {
        const std::string vendor = firstLine(dir / "idVendor");
        if (vendor.empty())
            continue;
        report.usbId = vendor + ":" + firstLine(dir / "idProduct");
        report.usbSerial = firstLine(dir / "serial");
        std::string description = firstLine(dir / "manufacturer");
        const std::string product = firstLine(dir / "product");
        if (!description.empty() && !product.empty())
            description += " ";
        report.usbDescription = description + product;
        return;
    }
}

bool mayOpen(const struct stat& info, const DoctorUser& user) {
    if (user.uid == 0)
        return true;
    constexpr mode_t kReadWrite = 06;
    if (info.st_uid == user.uid)
        return ((info.st_mode >> 6) & kReadWrite) == kReadWrite;
    if (std::find(user.groups.begin(), user.groups.end(), info.st_gid) != user.groups.end())
        return ((info.st_mode >> 3) & kReadWrite) == kReadWrite;
    return (info.st_mode & kReadWrite) == kReadWrite;
}

// The group's name and whether the user is listed as a member, from the group file.
std::pair<std::string, bool> groupEntry(const std::string& groupFile, unsigned gid,
                                        const std::string& user) {
    std::ifstream in(groupFile);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, ':');)
            fields.push_back(field);
        if (fields.size() < 3 || fields[2] != std::to_string(gid))
            continue;
        bool member = false;
        if (fields.size() > 3) {
            std::stringstream members(fields[3]);
            for (std::string name; std::getline(members, name, ',');)
                member = member || name == user;
        }
        return {fields[0], member};
    }
    return {std::to_string(gid), false};
}

void explainPermission(PortReport& report, const struct stat& info, const DoctorPaths& paths,
                       const DoctorUser& user) {
    const auto [group, listed] = groupEntry(paths.groupFile, info.st_gid, user.name);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    report.access = PortAccess::NoPermission;
    report.reason = "permission denied (EACCES): the device belongs to group " + group +
                    " with mode " + mode + ", and " + user.name + " is not in that group";
    if (listed) {
        report.reason += " in this session";
        report.advice.push_back(user.name + " was added to " + group +
                                " after logging in: log out and in again (or run `newgrp " + group +
                                "`)");
    } else {
        report.advice.push_back("sudo usermod -aG " + group + " " + user.name +
                                ", then log out and in again");
    }
    report.advice.push_back(
        std::string("or give the logged-in user USB serial adapters: sudo cp ") + kUdevRule +
        " /etc/udev/rules.d/ && sudo udevadm trigger");
}

// Processes with the device open, found through their descriptors in /proc.
void findHolders(PortReport& report, const fs::path& target, const DoctorPaths& paths,
                 bool& modemManagerRuns, bool& someHidden) {
    std::error_code error;
    for (fs::directory_iterator it(paths.proc, error), end; !error && it != end;
         it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c)) != 0;
            }))
            continue;
        const std::string name = firstLine(it->path() / "comm");
        modemManagerRuns = modemManagerRuns || name == kModemManager;
        std::error_code fdError;
        fs::directory_iterator fds(it->path() / "fd", fdError);
        if (fdError) {
            someHidden = someHidden || fdError == std::errc::permission_denied;
            continue;
        }
        for (fs::directory_iterator fdEnd; !fdError && fds != fdEnd; fds.increment(fdError)) {
            std::error_code linkError;
            const fs::path opened = fs::read_symlink(fds->path(), linkError);
            if (!linkError && canonicalOrEmpty(opened) == target) {
                report.holders.push_back(name + " (pid " + pid + ")");
                break;
            }
        }
    }
}

// A UUCP-style lock file (LCK..ttyUSB0 holding a process id) that names a live process.
void checkLockFiles(PortReport& report, const DoctorPaths& paths) {
    const std::string lockName = "LCK.." + fs::path(report.device).filename().string();
    for (const std::string& dir : paths.lockDirs) {
        const fs::path lock = fs::path(dir) / lockName;
        std::error_code error;
        if (!fs::exists(lock, error))
            continue;
        std::string pid = firstLine(lock);
        pid.erase(0, pid.find_first_not_of(' '));
        if (!pid.empty() && fs::exists(fs::path(paths.proc) / pid, error)) {
            if (report.access == PortAccess::Ok)
                report.access = PortAccess::InUse;
            report.holders.push_back(firstLine(fs::path(paths.proc) / pid / "comm") + " (pid " +
                                     pid + ", lock file " + lock.string() + ")");
        } else {
            report.advice.push_back("stale lock file " + lock.string() +
                                    " (its process is gone): sudo rm " + lock.string());
        }
    }
}

}  // namespace

DoctorUser DoctorUser::current() {
    DoctorUser user;
    user.uid = ::getuid();
    if (const passwd* entry = ::getpwuid(user.uid))
        user.name = entry->pw_name;
    else
        user.name = std::to_string(user.uid);
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        user.groups.assign(groups.begin(), groups.end());
    user.groups.push_back(::getgid());
    return user;
}

PortReport examinePort(const std::string& device, const DoctorPaths& paths,
                       const DoctorUser& user) {
    PortReport report;
    report.device = device;
    const fs::path target = canonicalOrEmpty(device);
    struct stat info {};
    if (target.empty() || ::stat(target.c_str(), &info) != 0) {
        report.access = PortAccess::Missing;
        report.reason = "the device does not exist (unplugged, or a dangling link)";
        return report;
    }
    for (const char* kind : {"by-id", "by-path"}) {
        for (auto& link : linksTo(fs::path(paths.dev) / "serial" / kind, target))
            report.stableNames.push_back(std::move(link));
    }
    readSysfs(report, paths, target.filename());

    if (!mayOpen(info, user))
        explainPermission(report, info, paths, user);

    bool modemManagerRuns = false;
    bool someHidden = false;
    findHolders(report, target, paths, modemManagerRuns, someHidden);
    checkLockFiles(report, paths);
    const bool heldByModemManager =
        std::any_of(report.holders.begin(), report.holders.end(),
                    [](const std::string& h) { return h.rfind(kModemManager, 0) == 0; });
    if (!report.holders.empty() && report.access == PortAccess::Ok)
        report.access = PortAccess::InUse;
    if (report.access == PortAccess::InUse) {
        report.reason = "in use by another program (opening it may fail with EBUSY)";
        if (heldByModemManager) {
            report.advice.push_back(
                "ModemManager is probing the new adapter: wait half a minute, or keep it away "
                "from serial adapters (the udev rule sets ID_MM_DEVICE_IGNORE) or stop it: "
                "sudo systemctl stop ModemManager");
        } else {
            report.advice.push_back("close the program that holds it (see `sudo fuser -v " +
                                    target.string() + "`)");
        }
    } else if (modemManagerRuns && !report.usbId.empty()) {
        report.advice.push_back(
            "ModemManager runs and may probe a USB adapter for a while after it is plugged in; "
            "the udev rule " +
            std::string(kUdevRule) + " keeps it away");
    }
    if (someHidden && report.holders.empty() && user.uid != 0) {
        report.advice.push_back("other users' processes cannot be seen from here: `sudo fuser -v " +
                                target.string() + "` lists every one");
    }
    if (report.driver == "ftdi_sio" && report.latencyTimerMs &&
        *report.latencyTimerMs > kAdvisedLatencyMs) {
        report.advice.push_back(
            "lower the FTDI latency timer to 1 ms for faster exchanges: echo 1 | sudo tee " +
            (fs::path(paths.sysClassTty) / target.filename() / "device" / "latency_timer")
                .string());
    }
    return report;
}

std::string stableNameOf(const PortReport& report) {
    for (const std::string& name : report.stableNames) {
        if (name.find("/by-id/") != std::string::npos)
            return name;
    }
    return report.device;
}

std::string formatReport(const PortReport& report) {
    std::ostringstream out;
    out << report.device << "\n";
    for (const std::string& name : report.stableNames)
        out << "  stable name: " << name << "\n";
    if (!report.usbId.empty()) {
        out << "  USB: " << report.usbId;
        if (!report.usbSerial.empty())
            out << ", serial " << report.usbSerial;
        if (!report.usbDescription.empty())
            out << " (" << report.usbDescription << ")";
        out << "\n";
    }
    if (!report.driver.empty())
        out << "  driver: " << report.driver << "\n";
    if (report.latencyTimerMs)
        out << "  latency timer: " << *report.latencyTimerMs << " ms\n";
    switch (report.access) {
        case PortAccess::Ok:
            out << "  access: this user may open it\n";
            break;
        case PortAccess::InUse:
            out << "  access: " << report.reason << "\n";
            break;
        case PortAccess::Missing:
        case PortAccess::NoPermission:
            out << "  access: cannot be opened: " << report.reason << "\n";
            break;
    }
    for (const std::string& holder : report.holders)
        out << "  held by: " << holder << "\n";
    for (const std::string& line : report.advice)
        out << "  what to do: " << line << "\n";
    return out.str();
}

}  // namespace tarnel

#endif  // _WIN32

// tarnel-sim: a simulated programmer on a pseudo-terminal, and its synthetic firmware files.

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "core/clock.h"
#include "link/posix_serial_port.h"
#include "sim/device_line.h"
#include "sim/pseudo_terminal.h"
#include "sim/scenario.h"
#include "sim/synthetic_firmware.h"

namespace {

using namespace tarnel;
using namespace tarnel::sim;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// How often the serving loop looks at a stop request while the line is idle.
constexpr std::uint32_t kIdleWaitMs = 200;

std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onStopSignal(int) {
    gStopRequested.store(true);
}

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a waiting poll() returns and the loop looks
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Makes link a symbolic link to target, replacing an old link (never a regular file).
bool makeLink(const std::string& link, const std::string& target) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(link, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status)) {
        std::cerr << "tarnel-sim: " << link << " exists and is not a link\n";
        return false;
    }
    const std::string temporary = link + ".tmp" + std::to_string(::getpid());
    std::filesystem::remove(temporary, error);
    std::filesystem::create_symlink(target, temporary, error);
    if (!error)
        std::filesystem::rename(temporary, link, error);
    if (error) {
        std::cerr << "tarnel-sim: cannot link " << link << ": " << error.message() << "\n";
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

int serve(const std::string& scenarioPath, const std::string& linkPath, bool paced) {
    Scenario scenario;
    try {
        scenario = loadScenario(scenarioPath);
    } catch (const std::exception& error) {
        std::cerr << "tarnel-sim: " << error.what() << "\n";
        return kExitUsage;
    }
    std::string error;
    auto pty = openPseudoTerminal(error);
    if (!pty) {
        std::cerr << "tarnel-sim: no pseudo-terminal: " << error << "\n";
        return kExitFailure;
    }
    if (!linkPath.empty() && !makeLink(linkPath, pty->slavePath))
        return kExitFailure;

    SystemClock clock;
    auto port = PosixSerialPort::adopt(std::move(pty->master), clock);
    if (!port) {
        std::cerr << "tarnel-sim: cannot serve the pseudo-terminal\n";
        return kExitFailure;
    }
    DeviceLine line(*port, clock, scenario.faults, kIdleWaitMs);
    if (paced) {
        const int fd = port->fd();
        line.pace([fd] { return terminalLineSettings(fd); });
    }
    bool cut = false;
    line.setCutHandler([&] {
        cut = true;
        port->hangUp();
        pty->slaveHold.reset();
    });
    line.setErrorHandler([](const std::string& text) {
        std::cerr << "tarnel-sim: protocol error: " << text << "\n";
    });
    auto device = makeDevice(scenario, line);

    installStopHandlers();
    std::cout << pty->slavePath << std::endl;
    line.watchStopFlag(gStopRequested);
    device->run();  // returns when a stop is requested or the line is gone
    if (cut) {
        std::cerr << "tarnel-sim: line cut\n";
    } else if (!gStopRequested.load()) {
        std::cerr << "tarnel-sim: the pseudo-terminal failed\n";
    }
    if (!linkPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(linkPath, ignored);
    }
    return kExitOk;
}

int firmware(const std::string& directory, const std::string& versionText) {
    std::uint16_t version = kCarriedFirmwareVersion;
    if (!versionText.empty()) {
        std::size_t used = 0;
        unsigned long value = 0;
        try {
            value = std::stoul(versionText, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != versionText.size() || value > 0xFFFF) {
            std::cerr << "tarnel-sim: --version must be a number up to 0xFFFF\n";
            return kExitUsage;
        }
        version = static_cast<std::uint16_t>(value);
    }
    try {
        for (const auto& path : writeSyntheticFirmwareFiles(directory, version))
            std::cout << path << "\n";
    } catch (const std::exception& error) {
        std::cerr << "tarnel-sim: " << error.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"tarnel-sim: a simulated programmer for Tarnel", "tarnel-sim"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tarnel-sim ") + TARNEL_VERSION);
    int status = kExitOk;

    std::string scenarioPath;
    std::string linkPath;
    auto* serveCommand =
        app.add_subcommand("serve", "Serve a simulated programmer on a pseudo-terminal");
    serveCommand->add_option("--scenario", scenarioPath, "Scenario file (JSON)")->required();
    serveCommand->add_option("--link", linkPath, "Make this path a link to the pseudo-terminal");
    bool paced = false;
    serveCommand->add_flag("--paced", paced,
                           "Hold both directions to the baud rate, data bits and stop bits the "
                           "host sets, as a real line does");
    serveCommand->callback([&] { status = serve(scenarioPath, linkPath, paced); });

    std::string outDirectory;
    std::string versionText;
    auto* firmwareCommand =
        app.add_subcommand("firmware", "Write the sixteen synthetic firmware files");
    firmwareCommand->add_option("--out", outDirectory, "Directory to write to")->required();
    firmwareCommand->add_option("--version", versionText,
                                "Firmware version the files carry (default 0x0619)");
    firmwareCommand->callback([&] { status = firmware(outDirectory, versionText); });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    return status;
}

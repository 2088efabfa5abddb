// tarnel-sim: simulated programmers and boot loaders on pseudo-terminals (one, or a line of
// them, each on its own thread), and the synthetic firmware files.

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

struct StationRequest {
    std::string scenarioPath;
    std::string linkPath;  // empty: no link
};

// "SCENARIO=LINK" or "SCENARIO".
StationRequest parseStation(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        return {text, {}};
    return {text.substr(0, equals), text.substr(equals + 1)};
}

// One simulated device served on its own pseudo-terminal and thread.
class ServedStation {
  public:
    ServedStation() = default;
    ServedStation(const ServedStation&) = delete;
    ServedStation& operator=(const ServedStation&) = delete;
    ~ServedStation() {
        if (thread_.joinable())
            thread_.join();
        if (linked_) {
            std::error_code ignored;
            std::filesystem::remove(request_.linkPath, ignored);
        }
    }

    // Loads the scenario, opens the terminal and makes the link; an exit status other than
    // kExitOk, with the reason on stderr, when it cannot.
    int open(const StationRequest& request, bool paced) {
        request_ = request;
        Scenario scenario;
        try {
            scenario = loadScenario(request.scenarioPath);
        } catch (const std::exception& error) {
            std::cerr << "tarnel-sim: " << error.what() << "\n";
            return kExitUsage;
        }
        std::string error;
        pty_ = openPseudoTerminal(error);
        if (!pty_) {
            std::cerr << "tarnel-sim: no pseudo-terminal: " << error << "\n";
            return kExitFailure;
        }
        if (!request.linkPath.empty()) {
            if (!makeLink(request.linkPath, pty_->slavePath))
                return kExitFailure;
            linked_ = true;
        }
        port_ = PosixSerialPort::adopt(std::move(pty_->master), clock_);
        if (!port_) {
            std::cerr << "tarnel-sim: cannot serve the pseudo-terminal\n";
            return kExitFailure;
        }
        line_ = std::make_unique<DeviceLine>(*port_, clock_, scenario.faults, kIdleWaitMs);
        if (paced) {
            const int fd = port_->fd();
            line_->pace([fd] { return terminalLineSettings(fd); });
        }
        line_->setCutHandler([this] {
            cut_ = true;
            port_->hangUp();
            pty_->slaveHold.reset();
        });
        line_->setErrorHandler([this](const std::string& text) {
            std::cerr << "tarnel-sim: " << prefix_ << "protocol error: " << text << "\n";
        });
        line_->watchStopFlag(gStopRequested);
        device_ = makeDevice(scenario, *line_);
        return kExitOk;
    }

    const std::string& terminalPath() const { return pty_->slavePath; }

    // Serves until a stop is requested or the line is gone. Among several stations, the
    // messages name the station by its link (or terminal).
    void start(bool named) {
        if (named)
            prefix_ = (request_.linkPath.empty() ? pty_->slavePath : request_.linkPath) + ": ";
        thread_ = std::thread([this] {
            device_->run();
            if (cut_) {
                std::cerr << "tarnel-sim: " << prefix_ << "line cut\n";
            } else if (!gStopRequested.load()) {
                std::cerr << "tarnel-sim: " << prefix_ << "the pseudo-terminal failed\n";
            }
        });
    }

  private:
    StationRequest request_;
    std::string prefix_;
    SystemClock clock_;
    std::optional<PseudoTerminal> pty_;
    std::unique_ptr<PosixSerialPort> port_;
    std::unique_ptr<DeviceLine> line_;
    std::unique_ptr<SimDevice> device_;
    std::thread thread_;
    std::atomic<bool> cut_{false};
    bool linked_ = false;
};

// Serves every station at once; prints each terminal's path on a line of its own, in the
// order given, once all are ready. Returns when every station has ended.
int serve(const std::vector<StationRequest>& requests, bool paced) {
    for (std::size_t i = 0; i < requests.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (!requests[i].linkPath.empty() && requests[i].linkPath == requests[j].linkPath) {
                std::cerr << "tarnel-sim: two stations link " << requests[i].linkPath << "\n";
                return kExitUsage;
            }
    std::vector<std::unique_ptr<ServedStation>> stations;
    for (const auto& request : requests) {
        stations.push_back(std::make_unique<ServedStation>());
        if (const int status = stations.back()->open(request, paced); status != kExitOk)
            return status;
    }
    installStopHandlers();
    for (const auto& station : stations)
        std::cout << station->terminalPath() << "\n";
    std::cout << std::flush;
    for (const auto& station : stations)
        station->start(stations.size() > 1);
    stations.clear();
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
    std::vector<std::string> stationTexts;
    auto* serveCommand = app.add_subcommand(
        "serve", "Serve simulated programmers or boot loaders on pseudo-terminals");
    auto* scenarioOption =
        serveCommand->add_option("--scenario", scenarioPath, "Scenario file (JSON)");
    serveCommand->add_option("--link", linkPath, "Make this path a link to the pseudo-terminal")
        ->needs(scenarioOption);
    serveCommand
        ->add_option("--station", stationTexts,
                     "SCENARIO[=LINK]: a device with its own scenario, terminal, link and "
                     "thread (repeat for a line of stations)")
        ->excludes(scenarioOption);
    bool paced = false;
    serveCommand->add_flag("--paced", paced,
                           "Hold both directions to the baud rate, data bits and stop bits the "
                           "host sets, as a real line does");
    serveCommand->callback([&] {
        std::vector<StationRequest> requests;
        if (!scenarioPath.empty())
            requests.push_back({scenarioPath, linkPath});
        for (const auto& text : stationTexts)
            requests.push_back(parseStation(text));
        if (requests.empty())
            throw CLI::RequiredError("--scenario or --station");
        status = serve(requests, paced);
    });

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

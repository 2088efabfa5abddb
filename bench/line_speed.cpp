// How a line of stations scales on one PC: 1, 2 and 4 simulated programmers, each on its own
// paced pseudo-terminal of one `tarnel-sim serve` (held to the baud rate the host sets, with
// the programmer's own erase and programming time), run by the real
// `tarnel line run --chips N --auto`. For each line it prints the chips per hour and the host's
// CPU: the tarnel process's user + system time over its wall time. Then the ratio of the
// largest line's chips per hour to one station's (the target is at least 0.95 per station)
// and whether the host stayed under 2 % of a core.
//
//   line_speed TARNEL TARNEL_SIM [--chips N] [--stations 1,2,4]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/server_process.h"

using tarnel::ServerProcess;
using tarnel::spawnProgram;

namespace {

namespace fs = std::filesystem;

// A 16 KiB chip (its whole APROM) erased and programmed page by page: about a second a chip.
constexpr const char* kPart = "QP516";
constexpr std::size_t kImageSize = 0x4000;
constexpr const char* kScenario = R"({"device": "single", "kind": "ICP", "sockets": [{}],
  "deviceTime": {"storageClearMs": 400, "pageEraseMs": 5, "programTickMs": 3}})";

// Runs argv with stdout and stderr to `output` (and stdin from /dev/null); the exit status,
// and the child's rusage and wall time when asked.
int runProgram(const std::vector<std::string>& args, const std::string& output,
               rusage* usage = nullptr, double* wallSeconds = nullptr) {
    const auto started = std::chrono::steady_clock::now();
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t pid = spawnProgram(args, in, out, out);
    ::close(in);
    ::close(out);
    int status = 0;
    rusage own{};
    ::wait4(pid, &status, 0, &own);
    if (usage != nullptr)
        *usage = own;
    if (wallSeconds != nullptr)
        *wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

struct LineFigures {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    unsigned chips = 0;
    double chipsPerHour() const { return chips / wallSeconds * 3600; }
    double cpuPercent() const { return 100 * cpuSeconds / wallSeconds; }
};

LineFigures runLine(const std::string& tarnel, const std::string& sim, const fs::path& dir,
                    std::size_t stations, unsigned chips) {
    LineFigures figures;
    fs::create_directories(dir);
    const std::string log = (dir / "log.txt").string();
    // One `tarnel-sim serve` with a station per link; it prints a line per station served.
    const fs::path scenario = dir / "station.json";
    std::ofstream(scenario) << kScenario;
    std::vector<std::string> links;
    std::vector<std::string> serve{sim, "serve", "--paced"};
    for (std::size_t i = 0; i < stations; ++i) {
        links.push_back((dir / ("station" + std::to_string(i + 1))).string());
        serve.push_back("--station");
        serve.push_back(scenario.string() + "=" + links.back());
    }
    const ServerProcess simulator(serve, stations);
    if (simulator.lines().size() != stations) {
        std::cerr << "line_speed: the simulator did not start\n";
        return figures;
    }
    const fs::path firmware = dir / "firmware";
    const fs::path image = dir / "image.bin";
    const fs::path project = dir / "chip.TPJ";
    {
        std::ofstream out(image, std::ios::binary);
        for (std::size_t i = 0; i < kImageSize; ++i)
            out.put(static_cast<char>((i * 7 + i / 256) & 0xFF));
    }
    if (runProgram({sim, "firmware", "--out", firmware.string()}, log) != 0 ||
        runProgram({tarnel, "project", "save", project.string(), "--part", kPart, "--aprom",
                    image.string()},
                   log) != 0) {
        std::cerr << "line_speed: cannot prepare the project (see " << log << ")\n";
        return figures;
    }
    std::ostringstream line;
    line << R"({"stations": [)";
    for (std::size_t i = 0; i < stations; ++i)
        line << (i ? ", " : "") << R"({"name": "S)" << i + 1
             << R"(", "kind": "programmer", "port": ")" << links[i]
             << R"(", "project": "chip.TPJ"})";
    line << R"(], "ledger": "serials.ledger", "record": "records"})";
    const fs::path lineFile = dir / "line.json";
    std::ofstream(lineFile) << line.str();

    const std::vector<std::string> base{tarnel, "--firmware-dir", firmware.string(), "line"};
    auto command = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = base;
        args.insert(args.end(), tail.begin(), tail.end());
        return args;
    };
    if (runProgram(command({"download", lineFile.string()}), log) != 0) {
        std::cerr << "line_speed: the download failed (see " << log << ")\n";
        return figures;
    }
    rusage usage{};
    const int status =
        runProgram(command({"run", lineFile.string(), "--chips", std::to_string(chips), "--auto"}),
                   log, &usage, &figures.wallSeconds);
    if (status != 0) {
        std::cerr << "line_speed: tarnel line run ended with " << status << " (see " << log
                  << ")\n";
        return figures;
    }
    figures.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    figures.chips = static_cast<unsigned>(stations) * chips;
    figures.ok = true;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"The line benchmark: chips per hour and host CPU for 1, 2 and 4 stations"};
    std::string tarnel;
    std::string sim;
    unsigned chips = 40;
    std::vector<std::size_t> counts{1, 2, 4};
    app.add_option("tarnel", tarnel, "The tarnel binary")->required();
    app.add_option("tarnel-sim", sim, "The tarnel-sim binary")->required();
    app.add_option("--chips", chips, "Chips per station")->check(CLI::Range(1u, 100000u));
    app.add_option("--stations", counts, "Line sizes to run")->delimiter(',');
    CLI11_PARSE(app, argc, argv);

    const fs::path work =
        fs::temp_directory_path() / ("tarnel-line-bench-" + std::to_string(::getpid()));
    std::printf("%-9s %6s %9s %12s %10s %13s\n", "stations", "chips", "wall s", "chips/hour",
                "host CPU", "CPU ms/chip");
    std::vector<LineFigures> results;
    bool ok = true;
    for (const std::size_t count : counts) {
        const LineFigures f =
            runLine(tarnel, sim, work / ("line" + std::to_string(count)), count, chips);
        ok = ok && f.ok;
        if (!f.ok)
            break;
        std::printf("%-9zu %6u %9.1f %12.0f %9.2f %% %13.2f\n", count, f.chips, f.wallSeconds,
                    f.chipsPerHour(), f.cpuPercent(), 1000 * f.cpuSeconds / f.chips);
        std::fflush(stdout);
        results.push_back(f);
    }
    if (!ok) {
        std::cerr << "line_speed: work files kept in " << work << "\n";
        return 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    if (results.size() >= 2 && counts.front() == 1) {
        const double ratio = results.back().chipsPerHour() / results.front().chipsPerHour();
        const double target = 0.95 * static_cast<double>(counts.back());
        std::printf("%zu stations / 1 station: %.2f x (target >= %.2f x): %s\n", counts.back(),
                    ratio, target, ratio >= target ? "met" : "MISSED");
    }
    double worstCpu = 0;
    for (const auto& f : results)
        worstCpu = std::max(worstCpu, f.cpuPercent());
    std::printf("host CPU at most %.2f %% of a core (target < 2 %%): %s\n", worstCpu,
                worstCpu < 2.0 ? "met" : "MISSED");
    return 0;
}

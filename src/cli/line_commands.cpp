// tarnel line check / download / run: a line of stations from one line file, each station on
// its own thread with its own port, project and working directory.

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <conio.h>
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "app/line_file.h"
#include "app/line_runner.h"
#include "app/trigger_channel.h"
#include "cli/cli_context.h"
#include "cli/console_operator.h"
#include "cli/printable.h"
#include "core/clock.h"
#include "link/port_table.h"
#include "link/system_ports.h"

namespace tarnel::cli {

namespace {

struct LineOptionsCli {
    std::string file;
    bool json = false;
    unsigned chips = 0;
    bool automatic = false;
    std::string socket;
};

nlohmann::json statusFields(const StationStatus& s) {
    return {{"station", s.name},      {"port", s.port},
            {"kind", s.kind},         {"state", stationStateName(s.state)},
            {"result", s.lastResult}, {"text", s.lastText},
            {"serial", s.serial},     {"passed", s.passed},
            {"failed", s.failed},     {"message", s.message}};
}

// What a running line shows: JSON events, a table redrawn in place on a terminal, or one
// plain line per change otherwise. Station threads call it; one at a time prints.
class LineView : public LineListener {
  public:
    LineView(ConsoleOperator& events, std::vector<StationStatus> initial, bool table)
        : events_(events), rows_(std::move(initial)), table_(table) {}

    void stationChanged(const StationStatus& status) override {
        std::lock_guard lock(mutex_);
        for (auto& row : rows_) {
            if (row.name != status.name)
                continue;
            const bool shownChanged = row.state != status.state ||
                                      row.passed + row.failed != status.passed + status.failed ||
                                      row.message != status.message || row.kind != status.kind;
            row = status;
            if (events_.json()) {
                if (shownChanged)
                    events_.emitEvent("station", statusFields(status));
            } else if (table_) {
                drawTable();
            } else if (shownChanged) {
                printLine(status);
            }
        }
    }

    void chipOutcome(const std::string& station, const ChipOutcome& o) override {
        if (!events_.json())
            return;
        std::lock_guard lock(mutex_);
        events_.emitEvent("chip", {{"station", station},
                                   {"operation", operationName(o.operation)},
                                   {"socket", o.socket},
                                   {"outcome", outcomeName(o.outcome)},
                                   {"class", failureClassName(o.failureClass)},
                                   {"failure", o.failureText},
                                   {"serial", o.serialNumber},
                                   {"part", o.partNumber},
                                   {"port", o.port}});
    }

    // Redraws the table once more and leaves the cursor under it.
    void finish() {
        std::lock_guard lock(mutex_);
        if (table_ && !events_.json())
            drawTable();
    }

  private:
    // Text in a column of `width` with a space after it; too long, its end is kept (a
    // by-id port name differs from the next one near its end).
    static std::string cell(std::string text, std::size_t width) {
        if (text.size() >= width)
            text = "~" + text.substr(text.size() - (width - 2));
        return text + std::string(width - text.size(), ' ');
    }

    void drawTable() {
        std::ostringstream out;
        if (drawn_ > 0)
            out << "\x1b[" << drawn_ << "A";  // back to the table's first line
        out << "\x1b[2K" << cell("key", 4) << cell("station", 12) << cell("port", 26)
            << cell("kind", 16) << cell("state", 9) << cell("last", 8) << cell("S/N", 19)
            << "pass/fail\n";
        int key = 1;
        for (const auto& r : rows_) {
            const std::string keyText =
                r.kind.empty() || r.kind == "ISP by COM Port" || key > 9 ? "" : std::to_string(key);
            ++key;
            out << "\x1b[2K" << cell(keyText, 4) << cell(r.name, 12)
                << cell(portDisplayName(r.port), 26) << cell(r.kind, 16)
                << cell(std::string(stationStateName(r.state)), 9) << cell(r.lastResult, 8)
                << cell(r.serial, 19) << r.passed << "/" << r.failed;
            if (!r.message.empty())
                out << "  " << printable(r.message);
            out << "\n";
        }
        std::cout << out.str() << std::flush;
        drawn_ = static_cast<int>(rows_.size()) + 1;
    }

    static void printLine(const StationStatus& s) {
        std::cout << "[" << s.name << "] " << stationStateName(s.state);
        if (!s.lastResult.empty())
            std::cout << "  last " << s.lastResult << (s.serial.empty() ? "" : " S/N " + s.serial);
        std::cout << "  passed " << s.passed << ", failed " << s.failed;
        if (!s.message.empty())
            std::cout << "  " << printable(s.message);
        std::cout << std::endl;
    }

    ConsoleOperator& events_;
    std::mutex mutex_;
    std::vector<StationStatus> rows_;
    bool table_;
    int drawn_ = 0;
};

// Station reports of check and download: one line (or event) each; the exit status is the
// highest failure class among them.
int printReports(const std::vector<StationReport>& reports, ConsoleOperator& events,
                 const char* eventName) {
    FailureClass worst = FailureClass::None;
    for (const StationReport& r : reports) {
        worst = std::max(worst, r.failureClass);
        if (events.json()) {
            events.emitEvent(eventName, {{"station", r.station},
                                         {"ok", r.ok},
                                         {"class", failureClassName(r.failureClass)},
                                         {"text", r.text}});
        } else {
            std::cout << std::left << std::setw(12) << r.station << (r.ok ? "OK    " : "FAIL  ")
                      << printable(r.text) << "\n";
        }
    }
    if (worst == FailureClass::None)
        for (const StationReport& r : reports)
            if (!r.ok)
                worst = FailureClass::Chip;
    return exitCodeOf(worst);
}

// A LineListener for check and download, which report at their end.
class Quiet : public LineListener {
  public:
    void stationChanged(const StationStatus&) override {}
    void chipOutcome(const std::string&, const ChipOutcome&) override {}
};

// What stops a line run and the keys that trigger its stations: Ctrl-C (and SIGTERM) are
// taken by the run's own thread, so the line stops between chips instead of the process
// ending mid-chip; keys are read only when standard input is a terminal.
#if defined(_WIN32)
bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

class RunControls {
  public:
    RunControls() {
        stopEvent() = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ::SetConsoleCtrlHandler(&RunControls::onControl, TRUE);
        keys_ = _isatty(_fileno(stdin)) != 0;
    }
    ~RunControls() {
        ::SetConsoleCtrlHandler(&RunControls::onControl, FALSE);
        ::CloseHandle(stopEvent());
        stopEvent() = nullptr;
    }
    RunControls(const RunControls&) = delete;
    RunControls& operator=(const RunControls&) = delete;
    // Waits up to waitMs for Ctrl-C; true once it came.
    bool interrupted(int waitMs) {
        return ::WaitForSingleObject(stopEvent(), static_cast<DWORD>(waitMs)) == WAIT_OBJECT_0;
    }
    // A key pressed on the console, or 0.
    char key() { return keys_ && _kbhit() ? static_cast<char>(_getch()) : 0; }

  private:
    static HANDLE& stopEvent() {
        static HANDLE event = nullptr;  // the console handler has no other way to reach it
        return event;
    }
    static BOOL WINAPI onControl(DWORD type) {
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
            return FALSE;
        ::SetEvent(stopEvent());
        return TRUE;
    }
    bool keys_ = false;
};
#else
bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

class RunControls {
  public:
    RunControls() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        // Blocked before any station thread starts, so every one inherits the mask.
        pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &saved_) != 0)
            return;
        termios raw = saved_;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        raw_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RunControls() {
        if (raw_)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    RunControls(const RunControls&) = delete;
    RunControls& operator=(const RunControls&) = delete;
    // Waits up to waitMs for Ctrl-C or SIGTERM (or, on a terminal, a key, kept for key());
    // true once a signal came.
    bool interrupted(int waitMs) {
        if (raw_ && pending_ == 0) {
            pollfd in{STDIN_FILENO, POLLIN, 0};
            if (::poll(&in, 1, waitMs / 2) > 0 && ::read(STDIN_FILENO, &pending_, 1) != 1)
                pending_ = 0;
            waitMs -= waitMs / 2;
        }
        const timespec tick{0, static_cast<long>(waitMs) * 1000 * 1000};
        return sigtimedwait(&signals_, nullptr, &tick) > 0;
    }
    // The key pressed since the last call, or 0.
    char key() { return std::exchange(pending_, 0); }

  private:
    sigset_t signals_{};
    sigset_t previous_{};
    termios saved_{};
    bool raw_ = false;
    char pending_ = 0;
};
#endif

std::optional<LineSetup> loadOrSay(const std::string& file) {
    std::string error;
    auto setup = loadLineFile(file, &error);
    if (!setup)
        std::cerr << "tarnel line: " << error << "\n";
    return setup;
}

int runCheckOrDownload(const CliContext& context, const LineOptionsCli& o, bool download) {
    auto setup = loadOrSay(o.file);
    if (!setup)
        return kExitInput;
    SystemClock clock;
    SystemPortFactory ports{clock};
    Quiet quiet;
    LineRunner runner(std::move(*setup), ports, clock, quiet);
    runner.setFirmwareDirectory(context.firmwareDir);
    ConsoleOperator events;
    events.setJson(o.json);
    return download ? printReports(runner.downloadAll(), events, "download")
                    : printReports(runner.check(), events, "check");
}

int runLine(const CliContext& context, const LineOptionsCli& o) {
    auto setup = loadOrSay(o.file);
    if (!setup)
        return kExitInput;
    RunControls controls;
    SystemClock clock;
    SystemPortFactory ports{clock};
    ConsoleOperator events;
    events.setJson(o.json);
    std::vector<StationStatus> initial;
    for (const StationSetup& s : setup->stations) {
        StationStatus status;
        status.name = s.name;
        status.port = s.port;
        initial.push_back(status);
    }
    LineView view(events, initial, stdoutIsTerminal());
    const std::vector<StationSetup> stations = setup->stations;
    LineRunner runner(std::move(*setup), ports, clock, view);
    runner.setFirmwareDirectory(context.firmwareDir);

    // The trigger channel: "TRIGGER <station>", or a plain "TRIGGER" on a line with one
    // programmer station.
    TriggerListener listener;
    std::string listenError;
    const std::string socketPath = o.socket.empty() ? triggerSocketPath() : o.socket;
    if (!listener.start(
            socketPath,
            [&](const std::string& station) { return runner.triggerFromChannel(station); },
            &listenError) &&
        !o.json)
        std::cerr << "tarnel line run: no trigger channel: " << listenError << "\n";

    runner.start({o.chips, o.automatic});
    bool interrupted = false;
    while (!interrupted && !runner.allEnded()) {
        interrupted = controls.interrupted(100);
        const char key = controls.key();
        if (key >= '1' && key <= '9' && static_cast<std::size_t>(key - '1') < stations.size())
            runner.trigger(stations[static_cast<std::size_t>(key - '1')].name);
        else if (key == 'q' || key == 'Q')
            interrupted = true;
    }
    if (interrupted && !o.json)
        std::cerr << "tarnel line: stopping every station after its chip\n";
    runner.stop();
    listener.stop();
    view.finish();

    unsigned passed = 0;
    unsigned failed = 0;
    for (const StationStatus& s : runner.snapshot()) {
        passed += s.passed;
        failed += s.failed;
    }
    const int status = exitCodeOf(runner.worstFailure());
    if (o.json) {
        events.emitEvent("result", {{"passed", passed},
                                    {"failed", failed},
                                    {"class", failureClassName(runner.worstFailure())},
                                    {"exit_code", status}});
    } else {
        std::cout << "Line totals: " << passed << " passed, " << failed << " failed\n";
    }
    return status;
}

}  // namespace

void addLineCommands(CLI::App& app, CliContext& context) {
    auto* line = app.add_subcommand("line", "Run a line of stations from a line file");
    line->require_subcommand(1);
    auto options = std::make_shared<LineOptionsCli>();

    auto* check = line->add_subcommand(
        "check", "Every station's port opens and answers, and its programmer fits its part");
    auto* download =
        line->add_subcommand("download", "Download each station's project into its programmer");
    auto* run = line->add_subcommand(
        "run",
        "Run the stations until Ctrl-C (keys 1..9 or `tarnel trigger --station` start a "
        "programmer station's update)");
    for (auto* sub : {check, download, run}) {
        sub->add_option("line", options->file, "The line file (JSON)")->required();
        sub->add_flag("--json", options->json,
                      "Newline-delimited JSON events on standard output, each with its station");
    }
    run->add_option("--chips", options->chips, "Each station stops after N chips")
        ->check(CLI::Range(1u, 1000000u));
    run->add_flag("--auto", options->automatic,
                  "Programmer stations start their next update as soon as one ends");
    run->add_option("--socket", options->socket, "The trigger socket to listen on")
        ->default_str(triggerSocketPath());

    check->callback(
        [&context, options] { context.exitStatus = runCheckOrDownload(context, *options, false); });
    download->callback(
        [&context, options] { context.exitStatus = runCheckOrDownload(context, *options, true); });
    run->callback([&context, options] { context.exitStatus = runLine(context, *options); });
}

}  // namespace tarnel::cli

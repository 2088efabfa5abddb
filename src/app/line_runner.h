#pragma once
// Runs a line of stations from one process. Each station is one programmer (single or gang) or
// one ISP-by-COM-Port socket on its own port, with its own Workbench (job, settings file in its
// own working directory, link, operator) on its own thread, so one station's fault or wait
// never holds up another.
//
// Programmer stations run an update each time they are triggered (or, in automatic mode, as
// soon as the previous one ends); ISP stations run the production loop and detect their chips
// by themselves. A station whose port does not open or whose programmer does not answer fails
// alone; the others go on. A station whose ledger cannot be reached stops between chips with
// the reason and can be resumed.
//
// The runner knows no toolkit: the line window and `tarnel line` both drive it and hear of it
// through a LineListener. Listener calls come from station threads, one station at a time
// per station; a listener shared by stations must be thread-safe.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/line_file.h"
#include "core/chip_outcome.h"
#include "core/clock.h"
#include "link/serial_port.h"

namespace tarnel {

enum class StationState {
    Starting,  // opening its port, loading its project, finding its programmer
    Ready,     // waiting for a trigger (programmer) or about to detect a chip (ISP)
    Busy,      // a command or the production loop runs
    Stopped,   // ended cleanly (stop(), its chip count reached, or its ledger lost)
    Failed,    // its port, programmer or project cannot be used; message says why
};

std::string_view stationStateName(StationState state);  // "Starting", "Ready", ...

struct StationStatus {
    std::string name;
    std::string port;  // as named in the line file
    std::string kind;  // "ICP", "ISP", "Gang", "ISP by COM Port"; empty until known
    StationState state = StationState::Starting;
    std::string lastResult;  // "PASS", "FAIL", "WARNING"; empty before the first chip
    std::string lastText;    // the last failure or warning text
    std::string serial;      // the S/N of the last chip, if any
    unsigned passed = 0;
    unsigned failed = 0;                      // failures and warnings
    FailureClass worst = FailureClass::None;  // the highest failure class so far
    std::string message;                      // why it failed or stopped; empty otherwise
};

class LineListener {
  public:
    virtual ~LineListener() = default;
    // Any change of a station's status (state, result, totals, message).
    virtual void stationChanged(const StationStatus& status) = 0;
    // Each chip's outcome, before stationChanged shows its result.
    virtual void chipOutcome(const std::string& station, const ChipOutcome& outcome) = 0;
};

// One station's answer to a check or a download.
struct StationReport {
    std::string station;
    bool ok = false;
    FailureClass failureClass = FailureClass::None;
    std::string text;  // "ICP, firmware 0x0614, fits N76E003" or why not
};

struct LineOptions {
    // Each station stops after this many chips (0: runs until stopped).
    unsigned chipsPerStation = 0;
    // Programmer stations start their next update as soon as one ends.
    bool automatic = false;
};

class LineRunner {
  public:
    // The ports are opened through `ports` by their full names; `clock` paces every station.
    LineRunner(LineSetup setup, PortFactory& ports, Clock& clock, LineListener& listener);
    ~LineRunner();  // stops and joins every station
    LineRunner(const LineRunner&) = delete;
    LineRunner& operator=(const LineRunner&) = delete;

    // Where the programmer firmware files lie (empty: each station's working directory, then
    // the installed firmware directory).
    void setFirmwareDirectory(std::string directory);
    // `working` is called at the start of every thread that works for a station, and what it
    // returns is held until the thread ends; `idle` likewise while a station waits for a
    // trigger or a resume (tests register the thread with their virtual clock, and take it
    // off while it waits on something else).
    using ThreadHook = std::function<std::shared_ptr<void>()>;
    void setThreadHooks(ThreadHook working, ThreadHook idle);

    // Every station at once: its port opens and answers, and its programmer (or chip boot
    // loader) fits the project's part. One report per station, in station order.
    std::vector<StationReport> check();
    // Downloads each programmer station's project into its programmer, all at once. ISP
    // stations have nothing to download and report so.
    std::vector<StationReport> downloadAll();

    // Starts every station on its own thread; returns at once.
    void start(const LineOptions& options = {});
    // Starts the next update on a Ready programmer station. False when there is no such
    // station, it is not Ready, or it is an ISP station.
    bool trigger(std::string_view station);
    // A trigger from the trigger channel: "TRIGGER <station>" names its station; a plain
    // "TRIGGER" (station empty) starts the line's only programmer station, if it has one.
    bool triggerFromChannel(const std::string& station);
    // Resumes a station its ledger stopped; false when there is no such station.
    bool resume(std::string_view station);
    // Ends every station between chips and joins their threads.
    void stop();
    // Blocks until every station has stopped or failed (e.g. all reached their chip count).
    void waitUntilAllEnded();
    // True once every station has stopped or failed.
    bool allEnded() const;

    std::vector<StationStatus> snapshot() const;
    const LineSetup& setup() const;
    // The highest failure class of the run: of every chip, and of every station that failed.
    FailureClass worstFailure() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarnel

#include "app/line_runner.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "app/workbench.h"
#include "core/production_record.h"
#include "core/serial_ledger.h"
#include "core/serial_number_source.h"
#include "image/project_file.h"
#include "isp/isp_messages.h"
#include "line_db/line_store.h"
#include "link/port_table.h"

namespace tarnel {

std::string_view stationStateName(StationState state) {
    switch (state) {
        case StationState::Starting:
            return "Starting";
        case StationState::Ready:
            return "Ready";
        case StationState::Busy:
            return "Busy";
        case StationState::Stopped:
            return "Stopped";
        case StationState::Failed:
            return "Failed";
    }
    return "";
}

namespace {

// The port table a station's Workbench sees: its own port as slot 1 and nothing else, so the
// programmer search and the ISP port list can only ever reach that port. The job remembers
// the slot name when the device name is too long for its 16-byte field; opening goes by the
// full name. Opens are serialized across stations, so any factory can serve the line.
class StationPorts : public PortFactory {
  public:
    StationPorts(PortFactory& inner, std::mutex& openMutex, std::string device)
        : inner_(inner), openMutex_(openMutex), device_(std::move(device)) {}
    std::vector<std::string> portTable() override { return {device_}; }
    std::unique_ptr<SerialPort> open(const std::string& device) override {
        if (device != device_)
            return nullptr;
        std::lock_guard lock(openMutex_);
        return inner_.open(device);
    }
    // What the job remembers for the station's port.
    std::string remembered() const {
        const std::vector<std::string> table{device_};
        std::string name = rememberedNameForSlot(1, table);
        // A short name that would be read as one under /dev goes by its slot too.
        return deviceForName(name, table) == device_ ? name : slotName(1);
    }

  private:
    PortFactory& inner_;
    std::mutex& openMutex_;
    std::string device_;
};

// A station's operator: no one watches a station's boxes, so they return at once; the last
// box and status are kept for the station's message and state.
class StationOperator : public Operator {
  public:
    std::function<void(std::string_view)> onStatus;

    std::string lastText() const {
        std::lock_guard lock(mutex_);
        return lastText_;
    }

    void setStatus(std::string_view text) override {
        if (onStatus)
            onStatus(text);
    }
    void setProgressRange(int) override {}
    void setProgressStep(int) override {}
    void setProgressPosition(int) override {}
    void stepProgress() override {}
    void setPortText(std::string_view) override {}
    void setProgrammerTypeLabel(std::string_view) override {}
    void beep(BeepKind) override {}
    void showResultBox(ResultKind kind, std::string_view text, bool) override {
        keep(std::string(kind == ResultKind::Pass ? "PASS: " : "FAIL: ") + std::string(text));
    }
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon) override {
        keep(std::string(caption) + ": " + std::string(text));
    }
    int chooseSocket(int current) override { return current; }
    void showReadBack(const ReadBackState&, std::uint32_t) override {}
    void showConfigView(ConfigLayout, std::uint32_t, const std::array<std::uint8_t, 8>&) override {}

  private:
    void keep(std::string text) {
        // One line is enough for a table cell and a message.
        for (char& c : text)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::lock_guard lock(mutex_);
        lastText_ = std::move(text);
    }
    mutable std::mutex mutex_;
    std::string lastText_;
};

std::string kindText(const ProgrammingJob& job) {
    if (job.comPortIspMode)
        return "ISP by COM Port";
    return job.gangMode ? "Gang" : job.icpMode ? "ICP" : "ISP";
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

struct LineRunner::Impl {
    using ThreadHook = LineRunner::ThreadHook;

    struct Station;

    // Hears a station's chip outcomes: counts them, passes them on to the line's listener.
    struct Outcomes : OutcomeSink {
        Impl* impl = nullptr;
        Station* station = nullptr;
        void chipOutcome(const ChipOutcome& outcome) override {
            impl->noteOutcome(*station, outcome);
        }
    };

    struct Station {
        Station(Impl& impl, const StationSetup& s)
            : setup(s), ports(impl.ports, impl.openMutex, s.port) {
            outcomes.impl = &impl;
            outcomes.station = this;
            status.name = s.name;
            status.port = s.port;
        }
        StationSetup setup;
        StationPorts ports;
        StationOperator op;
        Outcomes outcomes;
        std::unique_ptr<SerialLedger> ledger;  // the station's own connection to the ledger
        std::unique_ptr<Workbench> bench;      // after the ledger: it holds it
        std::thread thread;
        // Guarded by Impl::mutex.
        StationStatus status;
        bool triggered = false;
        bool resumeAsked = false;
        bool ledgerStopped = false;  // stopped by its ledger, waiting to be resumed
        unsigned chips = 0;
        // The class of what keeps the station from running: its project or its port.
        FailureClass prepareClass = FailureClass::Link;
    };

    Impl(LineSetup s, PortFactory& p, Clock& c, LineListener& l)
        : setup(std::move(s)), ports(p), clock(c), listener(l) {
        // A record entry that cannot be written is told on the station whose chip it was:
        // the record writes on that station's thread, just before the station hears of it.
        // The record is a directory of day files or a PostgreSQL database.
        record = openProductionRecord(
            setup.record,
            [this](const std::string& error) {
                std::lock_guard lock(mutex);
                recordErrors[std::this_thread::get_id()] = error;
            },
            &recordOpenError);
    }

    LineSetup setup;
    PortFactory& ports;
    Clock& clock;
    LineListener& listener;
    std::string firmwareDirectory;
    ThreadHook threadHook;
    ThreadHook idleHook;
    std::unique_ptr<OutcomeSink> record;
    std::string recordOpenError;  // why the record could not be opened, if so
    std::map<std::thread::id, std::string> recordErrors;  // guarded by mutex
    std::mutex openMutex;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable ended;
    bool stopping = false;
    LineOptions options;
    FailureClass worst = FailureClass::None;
    std::vector<std::unique_ptr<Station>> stations;

    // Runs body once per station, each on its own thread, and waits for them all.
    void forEachAtOnce(const std::function<void(const StationSetup&, std::size_t)>& body) {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < setup.stations.size(); ++i)
            threads.emplace_back([this, &body, i] {
                auto scope = threadHook ? threadHook() : nullptr;
                body(setup.stations[i], i);
            });
        for (auto& thread : threads)
            thread.join();
    }

    // One report per station, made at once: each station fresh and prepared, then `body`
    // reports on it; a station that cannot be prepared is reported as such.
    std::vector<StationReport> reportEach(
        const std::function<void(Station&, StationReport&)>& body) {
        std::vector<StationReport> reports(setup.stations.size());
        forEachAtOnce([this, &body, &reports](const StationSetup& stationSetup, std::size_t i) {
            StationReport& report = reports[i];
            report.station = stationSetup.name;
            auto station = makeStation(stationSetup);
            if (std::string why = prepare(*station); !why.empty()) {
                report.failureClass = station->prepareClass;
                report.text = why;
                return;
            }
            body(*station, report);
        });
        return reports;
    }

    // The station's Workbench with its project loaded and bound to its port; empty on
    // success, else why the station cannot run.
    std::string prepare(Station& s) {
        std::error_code error;
        std::filesystem::create_directories(s.setup.workDirectory, error);
        if (error)
            return "its working directory " + s.setup.workDirectory +
                   " cannot be made: " + error.message();
        Workbench& bench = *s.bench;
        bench.startUp(s.setup.workDirectory);
        bench.session().setFirmwareDirectory(firmwareDirectory);
        if (!record)
            return "the production record " + setup.record + " cannot be used: " + recordOpenError;
        bench.useRecord(*record);
        bench.outcomes().add(s.outcomes);
        ProgrammingJob& job = bench.job();
        bench.setStation(s.setup.name);
        s.prepareClass = FailureClass::Input;
        if (!loadProject(job, s.setup.project, s.op))
            return "project " + s.setup.project + " cannot be used: " + s.op.lastText();
        {
            std::lock_guard lock(mutex);
            s.status.kind = kindText(job);
        }
        const bool ispProject = job.comPortIspMode;
        if (ispProject != (s.setup.kind == StationKind::IspComPort))
            return "project " + s.setup.project + " is for " +
                   (ispProject ? "an ISP by COM Port socket" : "a programmer") +
                   ", the station is not";
        s.prepareClass = FailureClass::Link;
        if (!s.ports.open(s.setup.port))
            return "port " + s.setup.port + " does not open";
        const std::string remembered = s.ports.remembered();
        if (ispProject) {
            bench.searchIspPorts();
            if (!bench.isp().selectPortNamed(remembered))
                return "port " + s.setup.port + " does not open";
        } else {
            job.setComPortName(remembered);
            bench.session().setScanAllowed(false);
        }
        return {};
    }

    std::unique_ptr<Station> makeStation(const StationSetup& s) {
        auto station = std::make_unique<Station>(*this, s);
        station->bench = std::make_unique<Workbench>(station->op, clock, station->ports,
                                                     Workbench::RunOn::CallingThread);
        return station;
    }

    void publish(Station& s, const std::function<void(StationStatus&)>& change) {
        StationStatus copy;
        {
            std::lock_guard lock(mutex);
            change(s.status);
            if (s.status.state == StationState::Failed)
                worst = std::max(worst, s.status.worst);
            copy = s.status;
        }
        listener.stationChanged(copy);
        ended.notify_all();
    }

    void noteOutcome(Station& s, const ChipOutcome& outcome) {
        listener.chipOutcome(s.setup.name, outcome);
        // A retired number is entered in the record, but it is no chip of this run.
        if (outcome.failureText == kRetiredAfterUnfinishedRun ||
            outcome.failureText == kRetiredAfterLostLink)
            return;
        bool limitReached = false;
        publish(s, [&](StationStatus& st) {
            st.lastResult = outcome.outcome == Outcome::Pass   ? "PASS"
                            : outcome.outcome == Outcome::Fail ? "FAIL"
                                                               : "WARNING";
            st.lastText = outcome.failureText;
            for (char& c : st.lastText)
                if (c == '\n')
                    c = ' ';
            if (!outcome.serialNumber.empty())
                st.serial = outcome.serialNumber;
            (outcome.outcome == Outcome::Pass ? st.passed : st.failed) += 1;
            st.worst = std::max(st.worst, outcome.failureClass);
            worst = std::max(worst, outcome.failureClass);
            ++s.chips;
            if (auto it = recordErrors.find(std::this_thread::get_id()); it != recordErrors.end()) {
                st.message = "The production record cannot be written: " + it->second;
                recordErrors.erase(it);
            }
            limitReached = options.chipsPerStation > 0 && s.chips >= options.chipsPerStation;
        });
        // An ISP station's loop ends at its next detection step: at its chip count, or when
        // the ledger could not close this chip's number.
        if (s.setup.kind == StationKind::IspComPort &&
            (limitReached || !s.bench->serialLedgerTrouble().empty()))
            s.bench->stopProductionMode();
    }

    void fail(Station& s, std::string message, FailureClass failureClass) {
        publish(s, [&](StationStatus& st) {
            st.state = StationState::Failed;
            st.message = std::move(message);
            st.worst = std::max(st.worst, failureClass);
        });
    }

    // How a station's run of chips ended.
    enum class RunEnd { Stopped, Failed, Ledger };

    // On a line, the station's serial numbers come from the line's ledger (its own
    // connection to it). Empty on success, else why the ledger cannot serve.
    std::string attachLedger(Station& s) {
        Workbench& bench = *s.bench;
        if (!bench.job().serialEnabled)
            return {};
        std::string error;
        if (!s.ledger)
            s.ledger =
                openSerialLedger(setup.ledger, setup.firstSerial, setup.serialIncrement, &error);
        if (!s.ledger)
            return "The serial-number ledger cannot be opened: " + error;
        if (!bench.useSerialLedger(s.ledger.get(), s.setup.name, &error))
            return "The serial-number ledger cannot be reached: " + error;
        return {};
    }

    // The ledger failed this station: it could not draw a number, or could not close one.
    bool ledgerTrouble(Station& s) {
        return !s.bench->serialLedgerTrouble().empty() ||
               s.op.lastText().find(kLedgerUnreachable) != std::string::npos;
    }

    void runStation(Station& s) {
        auto scope = threadHook ? threadHook() : nullptr;
        if (std::string why = prepare(s); !why.empty()) {
            fail(s, why, s.prepareClass);
            return;
        }
        if (!isPostgresLocation(setup.record)) {
            std::error_code error;
            std::filesystem::create_directories(setup.record, error);
        }
        std::string ledgerMessage = attachLedger(s);
        for (;;) {
            RunEnd end = RunEnd::Ledger;
            if (ledgerMessage.empty()) {
                end = s.setup.kind == StationKind::IspComPort ? runIspStation(s)
                                                              : runProgrammerStation(s);
                s.bench->saveSettings();
                if (end == RunEnd::Ledger) {
                    ledgerMessage = s.bench->serialLedgerTrouble();
                    if (ledgerMessage.empty())
                        ledgerMessage = kLedgerUnreachable;
                }
            }
            if (end != RunEnd::Ledger)
                return;
            // Stopped between chips until the ledger is back and the station is resumed.
            publish(s, [&](StationStatus& st) {
                st.state = StationState::Stopped;
                st.message = ledgerMessage;
                s.ledgerStopped = true;  // with the state, so a resume seen after it counts
            });
            {
                auto idle = idleHook ? idleHook() : nullptr;
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stopping || s.resumeAsked; });
                s.ledgerStopped = false;
                s.resumeAsked = false;
                if (stopping)
                    return;
            }
            s.bench->clearSerialLedgerTrouble();
            ledgerMessage = attachLedger(s);
            if (ledgerMessage.empty())
                publish(s, [](StationStatus& st) { st.message.clear(); });
        }
    }

    bool limitReached(const Station& s) const {
        return options.chipsPerStation > 0 && s.chips >= options.chipsPerStation;
    }

    RunEnd runProgrammerStation(Station& s) {
        Workbench& bench = *s.bench;
        for (;;) {
            publish(s, [](StationStatus& st) { st.state = StationState::Ready; });
            {
                auto idle = idleHook ? idleHook() : nullptr;
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stopping || s.triggered || options.automatic; });
                if (stopping)
                    break;
                s.triggered = false;
            }
            publish(s, [](StationStatus& st) { st.state = StationState::Busy; });
            const bool started = bench.update();
            const CommandResult result = bench.lastResult();
            if (ledgerTrouble(s))
                return RunEnd::Ledger;
            if (!started || bench.session().notFound() ||
                result.failureClass == FailureClass::Link) {
                fail(s, s.op.lastText(),
                     result.failureClass != FailureClass::None ? result.failureClass
                                                               : FailureClass::Link);
                return RunEnd::Failed;
            }
            std::lock_guard lock(mutex);
            if (limitReached(s))
                break;
        }
        publish(s, [](StationStatus& st) { st.state = StationState::Stopped; });
        return RunEnd::Stopped;
    }

    RunEnd runIspStation(Station& s) {
        Workbench& bench = *s.bench;
        s.op.onStatus = [this, &s](std::string_view text) {
            // The loop waits for a chip (Ready) or programs one (Busy).
            if (text == isp::kDetectText)
                publish(s, [](StationStatus& st) { st.state = StationState::Ready; });
            else if (text == isp::kDetectOk)
                publish(s, [](StationStatus& st) { st.state = StationState::Busy; });
        };
        bench.toggleProductionMode(true);
        {
            std::lock_guard lock(mutex);
            if (stopping || limitReached(s))
                bench.stopProductionMode();
        }
        publish(s, [](StationStatus& st) { st.state = StationState::Ready; });
        const bool started = bench.update();
        // Production mode still on: the loop ended by itself, on a link or ledger fault.
        const bool endedByItself = bench.job().productionMode.load();
        bench.stopProductionMode();
        s.op.onStatus = nullptr;
        if (ledgerTrouble(s))
            return RunEnd::Ledger;
        if (!started || endedByItself) {
            fail(s, s.op.lastText(), FailureClass::Link);
            return RunEnd::Failed;
        }
        publish(s, [](StationStatus& st) { st.state = StationState::Stopped; });
        return RunEnd::Stopped;
    }
};

LineRunner::LineRunner(LineSetup setup, PortFactory& ports, Clock& clock, LineListener& listener)
    : impl_(std::make_unique<Impl>(std::move(setup), ports, clock, listener)) {}

LineRunner::~LineRunner() {
    stop();
}

void LineRunner::setFirmwareDirectory(std::string directory) {
    impl_->firmwareDirectory = std::move(directory);
}

void LineRunner::setThreadHooks(ThreadHook working, ThreadHook idle) {
    impl_->threadHook = std::move(working);
    impl_->idleHook = std::move(idle);
}

const LineSetup& LineRunner::setup() const {
    return impl_->setup;
}

std::vector<StationReport> LineRunner::check() {
    return impl_->reportEach([](Impl::Station& station, StationReport& report) {
        Workbench& bench = *station.bench;
        if (station.setup.kind == StationKind::IspComPort) {
            report.ok = true;
            report.text =
                "ISP by COM Port, port opens, part " + std::string(bench.job().part().partNumber);
            return;
        }
        ProgrammerSession& session = bench.session();
        const bool gang = bench.job().gangMode;
        const bool found = gang
                               ? session.searchGangProgrammer() && session.readGangFirmwareVersion()
                               : session.searchProgrammer() && session.readFirmwareVersion();
        bench.link().close();
        if (!found) {
            report.failureClass = FailureClass::Link;
            report.text = station.op.lastText();
            return;
        }
        report.ok = true;
        report.text = kindText(bench.job()) + ", firmware " + hex4(session.firmwareVersion()) +
                      ", fits " + std::string(bench.job().part().partNumber);
    });
}

std::vector<StationReport> LineRunner::downloadAll() {
    return impl_->reportEach([](Impl::Station& station, StationReport& report) {
        if (station.setup.kind == StationKind::IspComPort) {
            report.ok = true;
            report.text = "nothing to download (ISP by COM Port)";
            return;
        }
        Workbench& bench = *station.bench;
        const bool started = bench.download(false);
        bench.saveSettings();
        const CommandResult result = bench.lastResult();
        report.ok = started && result.failureClass == FailureClass::None && result.passes > 0;
        report.failureClass = report.ok                                   ? FailureClass::None
                              : result.failureClass != FailureClass::None ? result.failureClass
                                                                          : FailureClass::Chip;
        report.text = station.op.lastText();
    });
}

void LineRunner::start(const LineOptions& options) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->stations.empty())
        return;
    impl_->options = options;
    impl_->stopping = false;
    for (const StationSetup& setup : impl_->setup.stations)
        impl_->stations.push_back(impl_->makeStation(setup));
    for (auto& station : impl_->stations)
        station->thread = std::thread([this, s = station.get()] { impl_->runStation(*s); });
}

bool LineRunner::trigger(std::string_view name) {
    {
        std::lock_guard lock(impl_->mutex);
        auto it = std::find_if(impl_->stations.begin(), impl_->stations.end(),
                               [&](const auto& s) { return s->setup.name == name; });
        if (it == impl_->stations.end() || (*it)->setup.kind != StationKind::Programmer ||
            (*it)->status.state != StationState::Ready || impl_->stopping)
            return false;
        (*it)->triggered = true;
    }
    impl_->wake.notify_all();
    return true;
}

bool LineRunner::triggerFromChannel(const std::string& station) {
    if (!station.empty())
        return trigger(station);
    std::string only;
    {
        std::lock_guard lock(impl_->mutex);
        for (const auto& s : impl_->stations) {
            if (s->setup.kind != StationKind::Programmer)
                continue;
            if (!only.empty())
                return false;  // more than one: a plain trigger names none of them
            only = s->setup.name;
        }
    }
    return !only.empty() && trigger(only);
}

bool LineRunner::resume(std::string_view name) {
    {
        std::lock_guard lock(impl_->mutex);
        auto it = std::find_if(impl_->stations.begin(), impl_->stations.end(),
                               [&](const auto& s) { return s->setup.name == name; });
        if (it == impl_->stations.end() || !(*it)->ledgerStopped)
            return false;
        (*it)->resumeAsked = true;
    }
    impl_->wake.notify_all();
    return true;
}

void LineRunner::stop() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    for (auto& station : impl_->stations)
        station->bench->stopProductionMode();
    impl_->wake.notify_all();
    for (auto& station : impl_->stations)
        if (station->thread.joinable())
            station->thread.join();
}

bool LineRunner::allEnded() const {
    std::lock_guard lock(impl_->mutex);
    for (const auto& station : impl_->stations)
        if (station->status.state != StationState::Stopped &&
            station->status.state != StationState::Failed)
            return false;
    return true;
}

void LineRunner::waitUntilAllEnded() {
    std::unique_lock lock(impl_->mutex);
    impl_->ended.wait(lock, [this] {
        for (const auto& station : impl_->stations)
            if (station->status.state != StationState::Stopped &&
                station->status.state != StationState::Failed)
                return false;
        return true;
    });
}

std::vector<StationStatus> LineRunner::snapshot() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<StationStatus> statuses;
    if (impl_->stations.empty()) {
        for (const StationSetup& setup : impl_->setup.stations) {
            StationStatus status;
            status.name = setup.name;
            status.port = setup.port;
            statuses.push_back(status);
        }
    }
    for (const auto& station : impl_->stations)
        statuses.push_back(station->status);
    return statuses;
}

FailureClass LineRunner::worstFailure() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->worst;
}

}  // namespace tarnel

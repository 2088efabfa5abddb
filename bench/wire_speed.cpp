// How close Tarnel's transfers come to what the line and the protocol allow.
//
// Each operation runs against the paced simulator over a pseudo-terminal, on real time: the
// simulator holds both directions to the baud rate the host sets and takes the device time
// its scenario gives. While the operation runs, the host's clock and ports are watched: every
// byte each way, every protocol pause, the device's own work. From these the protocol model
// replays the exchange as an ideal host would (bytes take their character time on the wire,
// a reply starts when the host's last byte has arrived and the device has done its work, a
// pause starts when the host's write returns) and the bench prints measured / model.
//
// Then `tarnel hex2bin` is timed against objcopy on the same Intel HEX files of a 256 KiB
// image with 16- and 32-byte records.
//
// Each transfer runs three times (--runs N) and the run with the median ratio is printed,
// with the spread of the others: on a shared machine one run can meet a stall.
//
//   wire_speed TARNEL_BINARY [--quick] [--runs N] [--only programmer|isp|hex]

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/workbench.h"
#include "cli/cli_context.h"
#include "cli/setup_options.h"
#include "core/clock.h"
#include "image/hex_converter.h"
#include "link/posix_serial_port.h"
#include "sim/device_line.h"
#include "sim/pseudo_terminal.h"
#include "sim/scenario.h"
#include "sim/synthetic_firmware.h"
#include "testkit/recording_operator.h"

extern char** environ;

namespace {

using namespace tarnel;

// ---- The protocol model ---------------------------------------------------------------------

// What the host did, in order, for the replaying host below.
struct HostEvent {
    enum class Kind { Open, Configure, Write, Read, Pause, Dtr } kind;
    std::vector<std::uint8_t> bytes;  // Write: what went out
    std::size_t count = 0;            // Read: how many bytes came
    std::uint64_t us = 0;             // Pause: its length; Read: how long a timed-out read waited
    LineSettings settings;            // Configure
    bool high = false;                // Dtr
};

// Replays the exchange on an ideal host, in microseconds from the start of the operation.
class Model {
  public:
    Model(const std::atomic<std::uint64_t>* deviceWorkUs,
          const std::atomic<std::uint64_t>* simulatorLateNs)
        : workUs_(deviceWorkUs), lateNs_(simulatorLateNs) {}

    void setCharacter(const LineSettings& settings) {
        characterUs_ = static_cast<double>(characterTimeNs(settings)) / 1000.0;
    }
    void sent(std::size_t count) {
        toDevice_ = std::max(now_, toDevice_) + static_cast<double>(count) * characterUs_;
        bytesOut += count;
    }
    void received(std::size_t count) {
        const std::uint64_t work = workUs_->load();
        const double start = std::max(toDevice_, toHost_) + static_cast<double>(work - workSeen_);
        workSeen_ = work;
        toHost_ = start + static_cast<double>(count) * characterUs_;
        now_ = std::max(now_, toHost_);
        bytesIn += count;
    }
    // A read that ended by its time-out: the ideal host waits as long.
    void timedOut(double waitedUs) {
        now_ = std::max(now_, toHost_) + waitedUs;
        ++timeouts;
        timeoutUs += waitedUs;
    }
    // Real time of the first and the last transfer, for the host's own time around them.
    void touched(std::uint64_t nowUs) {
        if (firstIoUs == 0)
            firstIoUs = nowUs;
        lastIoUs = nowUs;
    }
    void paused(std::uint32_t ms) { pausedUs(std::uint64_t{ms} * 1000); }
    void pausedUs(std::uint64_t us) {
        script.push_back({HostEvent::Kind::Pause, {}, 0, us, {}, false});
        now_ += static_cast<double>(us);
        pauseUs += us;
        ++pauses;
    }
    void restart() {
        *this = Model(workUs_, lateNs_);
        workSeen_ = workUs_->load();
        lateStart_ = lateNs_->load();
    }
    double simulatorLateUs() const {
        return static_cast<double>(lateNs_->load() - lateStart_) / 1000.0;
    }
    double totalUs() const { return std::max({now_, toDevice_, toHost_}); }
    std::uint64_t workUs() const { return workUs_->load() - workStart_; }
    void markWorkStart() { workStart_ = workUs_->load(); }

    std::uint64_t bytesOut = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t pauseUs = 0;
    int pauses = 0;
    int timeouts = 0;
    double timeoutUs = 0;
    std::uint64_t firstIoUs = 0;
    std::uint64_t lastIoUs = 0;
    double overshootUs = 0;  // how much longer the host's pauses really took
    std::vector<HostEvent> script;

  private:
    const std::atomic<std::uint64_t>* workUs_;
    const std::atomic<std::uint64_t>* lateNs_;
    std::uint64_t lateStart_ = 0;
    std::uint64_t workSeen_ = 0;
    std::uint64_t workStart_ = 0;
    double characterUs_ = 1e6 * 10 / 115200.0;
    double now_ = 0;
    double toDevice_ = 0;
    double toHost_ = 0;
};

// The host's clock: real time, with every protocol pause told to the model.
class WatchedClock : public Clock {
  public:
    explicit WatchedClock(Model& model) : model_(model) {}
    std::uint64_t nowMs() override { return real_.nowMs(); }
    std::uint64_t nowUs() override { return real_.nowUs(); }
    void sleepMs(std::uint32_t ms) override {
        model_.paused(ms);
        const std::uint64_t start = real_.nowUs();
        real_.sleepMs(ms);
        model_.overshootUs += static_cast<double>(real_.nowUs() - start) - ms * 1000.0;
    }
    // A run of pauses to deadlines from one start (the ports wait on a clock of their own).
    void sleepUntilUs(std::uint64_t deadlineUs) override {
        const std::uint64_t now = real_.nowUs();
        if (deadlineUs > now)
            model_.pausedUs(deadlineUs - now);
        real_.sleepUntilUs(deadlineUs);
        const std::uint64_t end = real_.nowUs();
        if (end > deadlineUs)
            model_.overshootUs += static_cast<double>(end - deadlineUs);
    }

  private:
    SystemClock real_;
    Model& model_;
};

class WatchedPort : public SerialPort {
  public:
    WatchedPort(std::unique_ptr<SerialPort> port, Model& model, Clock& clock)
        : port_(std::move(port)), model_(model), clock_(clock) {}
    bool configure(const LineSettings& settings) override {
        model_.setCharacter(settings);
        model_.script.push_back({HostEvent::Kind::Configure, {}, 0, 0, settings, false});
        return port_->configure(settings);
    }
    bool setTimeouts(const Timeouts& timeouts) override { return port_->setTimeouts(timeouts); }
    Transfer read(std::uint8_t* buffer, std::size_t count) override {
        const std::uint64_t start = clock_.nowUs();
        const Transfer transfer = port_->read(buffer, count);
        model_.touched(clock_.nowUs());
        if (transfer.count > 0)
            model_.received(transfer.count);
        const bool timedOut = transfer.ok && transfer.count < count;
        if (timedOut)
            model_.timedOut(static_cast<double>(clock_.nowUs() - start));
        model_.script.push_back({HostEvent::Kind::Read,
                                 {},
                                 transfer.count,
                                 timedOut ? clock_.nowUs() - start : 0,
                                 {},
                                 false});
        return transfer;
    }
    // A wait for bytes on their way, not a pause of the protocol: only what came counts.
    Transfer readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) override {
        const Transfer transfer = port_->readAfter(buffer, count, waitUs);
        model_.touched(clock_.nowUs());
        if (transfer.count > 0)
            model_.received(transfer.count);
        model_.script.push_back({HostEvent::Kind::Pause, {}, 0, waitUs, {}, false});
        model_.script.push_back({HostEvent::Kind::Read, {}, transfer.count, 0, {}, false});
        return transfer;
    }
    Transfer write(const std::uint8_t* data, std::size_t count) override {
        model_.touched(clock_.nowUs());
        const Transfer transfer = port_->write(data, count);
        model_.sent(transfer.count);
        model_.script.push_back(
            {HostEvent::Kind::Write, {data, data + transfer.count}, 0, 0, {}, false});
        return transfer;
    }
    bool setDtr(bool high) override {
        model_.script.push_back({HostEvent::Kind::Dtr, {}, 0, 0, {}, high});
        return port_->setDtr(high);
    }

  private:
    std::unique_ptr<SerialPort> port_;
    Model& model_;
    Clock& clock_;
};

class WatchedPorts : public PortFactory {
  public:
    // The ports wait for their bytes on a clock of their own: only the protocol's pauses go
    // through the watched clock.
    WatchedPorts(Model& model, Clock& clock) : real_(portClock_), model_(model), clock_(clock) {}
    std::vector<std::string> portTable() override { return real_.portTable(); }
    std::unique_ptr<SerialPort> open(const std::string& device) override {
        auto port = real_.open(device);
        if (!port)
            return nullptr;
        model_.script.push_back({HostEvent::Kind::Open, {}, 0, 0, {}, false});
        return std::make_unique<WatchedPort>(std::move(port), model_, clock_);
    }

  private:
    SystemClock portClock_;
    PosixPortFactory real_;
    Model& model_;
    Clock& clock_;
};

// ---- The paced simulator --------------------------------------------------------------------

class PacedSimulator {
  public:
    explicit PacedSimulator(const std::string& scenarioJson)
        : scenario_(sim::parseScenario(scenarioJson)) {
        std::string error;
        auto pty = sim::openPseudoTerminal(error);
        if (!pty)
            throw std::runtime_error("no pseudo-terminal: " + error);
        path_ = pty->slavePath;
        slaveHold_ = std::move(pty->slaveHold);
        port_ = PosixSerialPort::adopt(std::move(pty->master), clock_);
        line_ = std::make_unique<sim::DeviceLine>(*port_, clock_, scenario_.faults, 100);
        const int fd = port_->fd();
        line_->pace([fd] { return sim::terminalLineSettings(fd); });
        device_ = sim::makeDevice(scenario_, *line_);
        thread_ = std::thread([this] {
            requestFineTimerSlack();
            if (!askRealTimePriority())
                std::fprintf(stderr,
                             "(the simulator runs at normal priority: no real-time "
                             "priority is allowed here, and its answers may come late)\n");
            device_->run();
        });
    }
    ~PacedSimulator() {
        line_->requestStop();
        thread_.join();
    }
    const std::string& path() const { return path_; }
    sim::DeviceLine& line() { return *line_; }

  private:
    // The simulator stands in for a device, which answers on time whatever the PC is doing:
    // where the system allows it (root, or an rtprio limit), its thread runs at the lowest
    // real-time priority so that its answers are not held up by other work on the machine.
    // The host under test keeps its normal priority.
    static bool askRealTimePriority() {
        sched_param param{};
        param.sched_priority = 1;
        return ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
    }

    SystemClock clock_;
    sim::Scenario scenario_;
    std::string path_;
    FileDescriptor slaveHold_;
    std::unique_ptr<PosixSerialPort> port_;
    std::unique_ptr<sim::DeviceLine> line_;
    std::unique_ptr<sim::SimDevice> device_;
    std::thread thread_;
};

// ---- The replaying host --------------------------------------------------------------------

// The least any host can do for the same exchange on this machine: it writes the bytes Tarnel
// wrote, waits in poll for the bytes Tarnel received and sleeps Tarnel's pauses, with nothing
// in between, against a fresh simulator with the same scenario. Tarnel's time over the
// replay's is what Tarnel itself adds; the replay's time over the model is what the machine
// (its wake-ups, the pseudo-terminal, the simulator) adds to any host.
class Replayer {
  public:
    explicit Replayer(std::string path) : path_(std::move(path)) { requestFineTimerSlack(); }

    // The script's time in seconds; negative when the device did not answer as before.
    double run(const std::vector<HostEvent>& script) {
        const std::uint64_t start = clock_.nowUs();
        for (const HostEvent& event : script) {
            if (!step(event))
                return -1;
        }
        return static_cast<double>(clock_.nowUs() - start) / 1e6;
    }

  private:
    bool step(const HostEvent& event) {
        switch (event.kind) {
            case HostEvent::Kind::Open:
                port_.reset();
                port_ = PosixSerialPort::open(path_, clock_);
                return port_ != nullptr;
            case HostEvent::Kind::Configure:
                return port_ && port_->configure(event.settings);
            case HostEvent::Kind::Dtr:
                // A pseudo-terminal has no DTR line: the call fails there for Tarnel too.
                if (port_)
                    port_->setDtr(event.high);
                return port_ != nullptr;
            case HostEvent::Kind::Pause:
                clock_.sleepUntilUs(clock_.nowUs() + event.us);
                return true;
            case HostEvent::Kind::Write:
                return port_ && writeAll(event.bytes);
            case HostEvent::Kind::Read: {
                const std::uint64_t start = clock_.nowUs();
                if (!port_ || !readExactly(event.count))
                    return false;
                if (event.us != 0)  // a read that ended by its time-out waits as long
                    clock_.sleepUntilUs(start + event.us);
                return true;
            }
        }
        return false;
    }
    bool writeAll(const std::vector<std::uint8_t>& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t put = ::write(port_->fd(), bytes.data() + done, bytes.size() - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
            } else if (put < 0 && errno == EAGAIN) {
                pollfd entry{port_->fd(), POLLOUT, 0};
                ::poll(&entry, 1, 1000);
            } else if (put < 0 && errno != EINTR) {
                return false;
            }
        }
        return true;
    }
    bool readExactly(std::size_t count) {
        std::uint8_t buffer[4096];
        for (std::size_t got = 0; got < count;) {
            pollfd entry{port_->fd(), POLLIN, 0};
            if (::poll(&entry, 1, 10000) <= 0)
                return false;  // ten seconds of silence: not the exchange recorded
            const ssize_t n = ::read(port_->fd(), buffer, std::min(sizeof buffer, count - got));
            if (n > 0)
                got += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
        }
        return true;
    }

    SystemClock clock_;
    std::string path_;
    std::unique_ptr<PosixSerialPort> port_;
};

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Row {
    std::string name;
    double measuredS = 0;
    double modelS = 0;
    double cpuPercent = 0;
    Model model{nullptr, nullptr};
    double simulatorLateMs = 0;
    std::uint64_t workMs = 0;
    double beforeMs = 0;  // host time before the first transfer and after the last
    double afterMs = 0;
    double replayS = 0;  // the replaying host's time for the same exchange (0: not replayed)
    double replayCpuPercent = 0;
    bool passed = false;
};

void printRow(const Row& row) {
    std::printf("%-30s %8.3f s %8.3f s  %6.4f x  CPU %5.2f %%  %s\n", row.name.c_str(),
                row.measuredS, row.modelS, row.measuredS / row.modelS, row.cpuPercent,
                row.passed ? "PASS" : "FAILED");
    std::printf(
        "    bytes out %7llu, in %7llu; pauses %5d (%llu ms); device work %llu ms; "
        "time-outs %d (%.1f ms)\n"
        "    host time before the first transfer %.1f ms, after the last %.1f ms; pauses late "
        "by %.0f us on average\n"
        "    the simulator's answers were late by %.1f ms in all: without that, %.4f x\n",
        static_cast<unsigned long long>(row.model.bytesOut),
        static_cast<unsigned long long>(row.model.bytesIn), row.model.pauses,
        static_cast<unsigned long long>(row.model.pauseUs / 1000),
        static_cast<unsigned long long>(row.workMs), row.model.timeouts,
        row.model.timeoutUs / 1000.0, row.beforeMs, row.afterMs,
        row.model.pauses == 0 ? 0.0 : row.model.overshootUs / row.model.pauses, row.simulatorLateMs,
        (row.measuredS - row.simulatorLateMs / 1000.0) / row.modelS);
    if (row.replayS > 0)
        std::printf(
            "    a host that only replays this exchange: %.3f s (%.4f x the model, CPU %.2f %%); "
            "tarnel / replay %.4f x\n",
            row.replayS, row.replayS / row.modelS, row.replayCpuPercent,
            row.measuredS / row.replayS);
    else if (row.replayS < 0)
        std::printf("    the replay did not get the answers tarnel got\n");
}

// Runs one command through the Workbench on this thread and measures it.
template <typename Command>
Row measure(const std::string& name, Model& model, RecordingOperator& op, Command command) {
    model.restart();
    model.markWorkStart();
    const std::size_t boxesBefore = op.boxes().size();
    const double cpuBefore = threadCpuSeconds();
    SystemClock real;
    const std::uint64_t startUs = real.nowUs();
    const auto start = std::chrono::steady_clock::now();
    command();
    const auto end = std::chrono::steady_clock::now();
    const std::uint64_t endUs = real.nowUs();
    Row row;
    if (model.firstIoUs != 0) {
        row.beforeMs = static_cast<double>(model.firstIoUs - startUs) / 1000.0;
        row.afterMs = static_cast<double>(endUs - model.lastIoUs) / 1000.0;
    }
    row.name = name;
    row.measuredS = std::chrono::duration<double>(end - start).count();
    row.cpuPercent = 100.0 * (threadCpuSeconds() - cpuBefore) / row.measuredS;
    row.modelS = model.totalUs() / 1e6;
    row.model = model;
    row.workMs = model.workUs() / 1000;
    row.simulatorLateMs = model.simulatorLateUs() / 1000.0;
    // A read shows the read-back view and no PASS box: any FAIL or WARNING box is a failure.
    const auto boxes = op.boxes();
    row.passed = true;
    for (std::size_t i = boxesBefore; i < boxes.size(); ++i)
        row.passed = row.passed && boxes[i].rfind("PASS", 0) == 0;
    if (!row.passed) {
        for (std::size_t i = boxesBefore; i < boxes.size(); ++i)
            std::fprintf(stderr, "    %s\n", boxes[i].c_str());
    }
    return row;
}

std::vector<std::uint8_t> patternImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t state = 0x12345678;
    for (auto& byte : image) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return image;
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A setup as the command line would build it; false when the part or files are refused.
bool setUp(Workbench& bench, RecordingOperator& op, const std::string& part,
           const std::string& type, const std::string& aprom, bool fast) {
    cli::SetupOptions options;
    options.part = part;
    options.type = type;
    options.aprom = aprom;
    options.fastProtocol = fast;
    return cli::applySetupOptions(options, bench.job(), op) == cli::kExitPass;
}

// Replays each row's exchange, in order, against a fresh simulator of the same scenario.
void replayRows(const std::string& scenario, std::vector<Row>& rows) {
    PacedSimulator sim(scenario);
    Replayer replayer(sim.path());
    for (Row& row : rows) {
        const double cpuBefore = threadCpuSeconds();
        row.replayS = replayer.run(row.model.script);
        row.replayCpuPercent = 100.0 * (threadCpuSeconds() - cpuBefore) / row.replayS;
    }
}

constexpr const char* kProgrammerScenario = R"({"device": "single", "kind": "ICP_Vexa",
    "firmwareVersion": "0x0619", "sockets": [{"part": "QK207"}],
    "deviceTime": {"storageClearMs": 300, "pageEraseMs": 2, "programTickMs": 1}})";
constexpr const char* kBootLoaderScenario = R"({"device": "bootloader",
    "chips": [{"part": "QM125", "baudCode": "0x73", "resetAfterProbes": 0}]})";

std::vector<Row> programmerRows(const std::string& work, std::size_t imageSize) {
    PacedSimulator sim(kProgrammerScenario);
    ::setenv("TARNEL_PORTS", sim.path().c_str(), 1);
    Model model(&sim.line().workCounter(), &sim.line().lateNs());
    WatchedClock clock(model);
    WatchedPorts ports(model, clock);
    RecordingOperator op;
    Workbench bench(op, clock, ports, Workbench::RunOn::CallingThread);
    bench.startUp(work);
    bench.session().setFirmwareDirectory(work + "/firmware");
    const std::string image = work + "/aprom.bin";
    writeFile(image, patternImage(imageSize));
    std::vector<Row> rows;
    if (!setUp(bench, op, "QK207", "icp", image, false)) {
        std::fprintf(stderr, "the programmer setup was refused\n");
        return rows;
    }
    const std::string size = std::to_string(imageSize / 1024) + " KiB";
    rows.push_back(measure("download " + size, model, op, [&] { bench.download(); }));
    rows.push_back(measure("update " + size, model, op, [&] { bench.update(); }));
    rows.push_back(measure("verify " + size, model, op, [&] { bench.verify(); }));
    rows.push_back(measure("read " + size, model, op, [&] { bench.read(); }));
    replayRows(kProgrammerScenario, rows);
    return rows;
}

Row ispRow(const std::string& work, std::size_t imageSize, bool fast) {
    PacedSimulator sim(kBootLoaderScenario);
    ::setenv("TARNEL_PORTS", sim.path().c_str(), 1);
    Model model(&sim.line().workCounter(), &sim.line().lateNs());
    WatchedClock clock(model);
    WatchedPorts ports(model, clock);
    RecordingOperator op;
    Workbench bench(op, clock, ports, Workbench::RunOn::CallingThread);
    bench.startUp(work);
    const std::string image = work + "/isp.bin";
    writeFile(image, patternImage(imageSize));
    if (!setUp(bench, op, "QM125", "com", image, fast)) {
        std::fprintf(stderr, "the ISP setup was refused\n");
        return Row{};
    }
    bench.searchIspPorts();
    bench.toggleProductionMode(false);
    std::vector<Row> rows{measure(
        "ISP by COM Port " + std::to_string(imageSize / 1024) + " KiB" + (fast ? " --fast" : ""),
        model, op, [&] {
            bench.update();
            bench.waitForWorker();
        })};
    replayRows(kBootLoaderScenario, rows);
    return rows.front();
}

// ---- hex2bin against objcopy ---------------------------------------------------------------

std::string intelHex(const std::vector<std::uint8_t>& image, std::size_t recordBytes) {
    std::string text;
    char line[600];
    for (std::size_t at = 0; at < image.size(); at += recordBytes) {
        if (at % 0x10000 == 0) {
            const unsigned high = static_cast<unsigned>(at >> 16);
            const unsigned sum = 2 + 4 + (high >> 8) + (high & 0xFF);
            std::snprintf(line, sizeof line, ":02000004%04X%02X\n", high, (0x100 - sum) & 0xFF);
            text += line;
        }
        const std::size_t count = std::min(recordBytes, image.size() - at);
        const unsigned offset = static_cast<unsigned>(at & 0xFFFF);
        unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF);
        int n =
            std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(count), offset);
        for (std::size_t i = 0; i < count; ++i) {
            n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%02X",
                               image[at + i]);
            sum += image[at + i];
        }
        std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%02X\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    text += ":00000001FF\n";
    return text;
}

// Wall time of one run of the program, in seconds; negative when it failed.
double runOnce(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

// The fastest of runs rounds, taking turns so that both see the same load.
void compareHexToBinary(const std::string& tarnel, const std::string& work, int runs) {
    const auto image = patternImage(256 * 1024);
    std::printf("\nhex2bin of a 256 KiB image against objcopy (best of %d runs each), in %s\n",
                runs, work.c_str());
    for (const std::size_t record : {std::size_t{16}, std::size_t{32}}) {
        const std::string hex = work + "/image" + std::to_string(record) + ".hex";
        std::ofstream(hex) << intelHex(image, record);
        double ours = 1e9;
        double theirs = 1e9;
        for (int i = 0; i < runs; ++i) {
            const double a = runOnce({tarnel, "hex2bin", hex, work + "/ours.bin"});
            const double b =
                runOnce({"objcopy", "-I", "ihex", "-O", "binary", hex, work + "/theirs.bin"});
            if (a < 0 || b < 0) {
                std::printf("  %zu-byte records: a run failed\n", record);
                return;
            }
            ours = std::min(ours, a);
            theirs = std::min(theirs, b);
        }
        std::ifstream a(work + "/ours.bin", std::ios::binary);
        std::ifstream b(work + "/theirs.bin", std::ios::binary);
        const std::vector<char> ourBytes{std::istreambuf_iterator<char>(a), {}};
        const std::vector<char> theirBytes{std::istreambuf_iterator<char>(b), {}};
        // The conversion alone, in this process.
        const std::string text = intelHex(image, record);
        std::vector<std::uint8_t> buffer(256 * 1024);
        RecordingOperator op;
        double convert = 1e9;
        for (int i = 0; i < runs; ++i) {
            std::uint32_t length = 0;
            const auto start = std::chrono::steady_clock::now();
            convertHexToBinary(text, 0x00, buffer, length, op);
            convert = std::min(
                convert,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::printf(
            "  %2zu-byte records: tarnel %6.2f ms, objcopy %6.2f ms: %5.3f x%s"
            " (conversion alone %.2f ms)\n",
            record, ours * 1e3, theirs * 1e3, ours / theirs,
            ourBytes == theirBytes ? "" : "  (outputs differ!)", convert * 1e3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: wire_speed TARNEL_BINARY [--quick] [--runs N] "
                     "[--only programmer|isp|hex]\n");
        return 2;
    }
    const std::string tarnel = argv[1];
    bool quick = false;
    int repeats = 3;
    std::string only;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick")
            quick = true;
        else if (arg == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (arg == "--runs" && i + 1 < argc)
            repeats = std::max(1, std::atoi(argv[++i]));
    }
    const auto runs = [&only](const char* part) { return only.empty() || only == part; };
    requestFineTimerSlack();
    char pattern[] = "/tmp/tarnel-bench-XXXXXX";
    const std::string work = ::mkdtemp(pattern);
    sim::writeSyntheticFirmwareFiles(work + "/firmware", kCarriedFirmwareVersion);

    std::printf("Against the paced simulator (115200 baud 8N1 = 11520 bytes/s):\n");
    std::printf("%-30s %10s %10s  %8s\n", "operation", "measured", "model", "ratio");
    const std::size_t programmerImage = quick ? 16 * 1024 : 128 * 1024;
    const std::size_t ispImage = quick ? 8 * 1024 : 64 * 1024;
    int failures = 0;
    std::error_code ignored;
    // Row i of every run, the median by ratio printed with the others' range.
    std::vector<std::vector<Row>> table;
    for (int run = 0; run < repeats; ++run) {
        std::vector<Row> rows;
        if (runs("programmer"))
            rows = programmerRows(work, programmerImage);
        for (const bool fast : {false, true}) {
            if (runs("isp"))
                rows.push_back(ispRow(work, ispImage, fast));
        }
        table.resize(std::max(table.size(), rows.size()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            table[i].push_back(rows[i]);
    }
    for (std::vector<Row>& runsOfRow : table) {
        std::sort(runsOfRow.begin(), runsOfRow.end(), [](const Row& a, const Row& b) {
            return a.measuredS / a.modelS < b.measuredS / b.modelS;
        });
        printRow(runsOfRow[runsOfRow.size() / 2]);
        if (runsOfRow.size() > 1) {
            std::printf("    %zu runs:", runsOfRow.size());
            for (const Row& row : runsOfRow)
                std::printf(" %.4f x (CPU %.2f %%, replay %.4f x)", row.measuredS / row.modelS,
                            row.cpuPercent, row.replayS / row.modelS);
            std::printf("\n");
        }
        for (const Row& row : runsOfRow)
            failures += row.passed ? 0 : 1;
    }
    // On a disk, tarnel's output waits for fsync (it is written atomically and durably) and
    // objcopy's does not; in memory the two do the same work.
    if (runs("hex")) {
        compareHexToBinary(tarnel, work, quick ? 3 : 41);
        char memoryPattern[] = "/dev/shm/tarnel-bench-XXXXXX";
        if (const char* memory = ::mkdtemp(memoryPattern)) {
            compareHexToBinary(tarnel, memory, quick ? 3 : 41);
            std::filesystem::remove_all(memory, ignored);
        }
    }
    std::filesystem::remove_all(work, ignored);
    return failures == 0 ? 0 : 1;
}

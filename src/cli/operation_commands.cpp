// tarnel download / update / verify / read / info / chip-check: the programmer commands,
// run through the same Workbench as the window, on the calling thread.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/workbench.h"
#include "cli/cli_context.h"
#include "cli/console_operator.h"
#include "cli/isp_update.h"
#include "cli/setup_options.h"
#include "core/clock.h"
#include "image/image_loader.h"
#include "image/project_file.h"
#include "link/port_table.h"
#include "link/system_ports.h"

namespace tarnel::cli {

namespace {

enum class Command { Download, Update, Verify, Read, Info, ChipCheck };

struct OperationOptions {
    SetupOptions setup;
    std::string project;
    bool noGang = false;
    int socket = 0;
    std::string out;
    bool quiet = false;
    bool json = false;
    IspRunOptions isp;
};

// Each chip outcome as a "chip" event, in JSON mode.
class ChipEvents : public OutcomeSink {
  public:
    explicit ChipEvents(ConsoleOperator& op) : op_(op) {}
    void chipOutcome(const ChipOutcome& o) override {
        op_.emitEvent("chip", {{"operation", operationName(o.operation)},
                               {"socket", o.socket},
                               {"outcome", outcomeName(o.outcome)},
                               {"class", failureClassName(o.failureClass)},
                               {"failure", o.failureText},
                               {"serial", o.serialNumber},
                               {"counter", o.chipCounter ? nlohmann::json(*o.chipCounter)
                                                         : nlohmann::json(nullptr)},
                               {"part", o.partNumber},
                               {"port", o.port}});
    }

  private:
    ConsoleOperator& op_;
};

// The last event of a JSON run: how it ended, its exit status, the S/Ns written.
void emitResult(ConsoleOperator& op, int status, const CommandResult& result) {
    const char* outcome = status == kExitPass       ? "pass"
                          : status == kExitOperator ? "warning"
                                                    : "fail";
    op.emitEvent(
        "result",
        {{"outcome", outcome}, {"exit_code", status}, {"serial_numbers", result.serialNumbers}});
}

int runOperation(const CliContext& context, const OperationOptions& o, Command command,
                 const char* name, ConsoleOperator& op, CommandResult& result) {
    SystemClock clock;
    SystemPortFactory ports{clock};
    ChipLimitOperator limiter(op);
    Workbench bench(limiter, clock, ports, Workbench::RunOn::CallingThread);
    ChipEvents chipEvents(op);
    if (op.json())
        bench.outcomes().add(chipEvents);
    // The result is taken on every way out, the early ones included.
    struct TakeResult {
        Workbench& bench;
        CommandResult& result;
        ~TakeResult() { result = bench.lastResult(); }
    } takeResult{bench, result};

    std::error_code error;
    const std::string workDir =
        context.workDir.empty() ? std::filesystem::current_path(error).string() : context.workDir;
    bench.startUp(workDir);
    bench.session().setFirmwareDirectory(context.firmwareDir);
    ProgrammingJob& job = bench.job();

    if (const int status = checkInputFiles({{"--project", &o.project}}); status != kExitPass)
        return status;
    if (!o.project.empty()) {
        // A project sets the whole job but the programmer: gang mode is what --gang says,
        // so a project saved at a gang station runs at a single one too.
        if (!loadProject(job, o.project, op))
            return kExitInput;
        if (o.setup.gang && job.comPortIspMode) {
            std::cerr << "tarnel " << name << ": --gang cannot be used with an ISP by COM Port "
                      << "project\n";
            return kExitUsage;
        }
        if (job.gangMode != o.setup.gang) {
            // The mode flags follow; the project's CONFIG words stay as loaded.
            const auto config = job.configBytes;
            const auto pages = job.dataFlashPages;
            job.programmerType = static_cast<std::uint8_t>((job.programmerType & 0x0F) |
                                                           (o.setup.gang ? kTypeGang : 0));
            job.refreshDerivedState();
            job.configBytes = config;
            job.dataFlashPages = pages;
        }
    } else if (const int status = applySetupOptions(o.setup, job, op); status != kExitPass) {
        return status;
    }
    if (job.comPortIspMode) {
        if (command == Command::Update)
            return runIspUpdate(bench, ports, limiter, op, context, o.isp);
        std::cerr << "tarnel " << name << ": the ISP by COM Port type only updates chips\n";
        return kExitUsage;
    }
    if (o.isp.production) {
        std::cerr << "tarnel " << name << ": --production needs --type com\n";
        return kExitUsage;
    }
    if (!context.port.empty()) {
        const std::string remembered = rememberedNameFor(context.port, ports.portTable());
        if (remembered.empty()) {
            std::cerr << "tarnel " << name << ": port \"" << context.port
                      << "\" is not in the port table\n";
            return kExitUsage;
        }
        job.setComPortName(remembered);
        // A named port is the only port: another one may hold another station's programmer.
        bench.session().setScanAllowed(false);
    }
    if (!o.out.empty()) {
        std::filesystem::create_directories(o.out, error);
        op.setReadBackDirectory(o.out);
    } else if (command == Command::Read) {
        op.setReadBackDirectory(workDir);
    }

    bool started = true;
    switch (command) {
        case Command::Download:
            started = bench.download(false);
            break;
        case Command::Update:
            started = bench.update();
            break;
        case Command::Verify:
            started = bench.verify();
            break;
        case Command::Read:
            started = bench.read();
            break;
        case Command::Info:
            bench.programmerInformation();
            break;
        case Command::ChipCheck:
            started = bench.chipCheck();
            break;
    }
    bench.waitForWorker();
    bench.saveSettings();

    if (bench.session().notFound() && !context.port.empty() && !op.json()) {
        std::cerr << "tarnel " << name << ": no programmer answered on " << context.port
                  << " (named with --port, so no other port was tried)\n";
    }
    // Information ends in its boxes, not in a result.
    return exitStatusOf(bench.lastResult(), started, command == Command::Info, op);
}

void addOperation(CLI::App& app, CliContext& context, Command command, const char* name,
                  const char* description) {
    auto options = std::make_shared<OperationOptions>();
    auto* sub = app.add_subcommand(name, description);
    addSetupOptions(sub, options->setup);
    sub->add_option("--project", options->project, "Take the whole setup from a project file");
    sub->add_flag("--no-gang", options->noGang, "Single programmer (the default)");
    sub->add_flag("--quiet", options->quiet, "Only the result lines");
    sub->add_flag("--json", options->json,
                  "Newline-delimited JSON events on standard output instead of the human lines");
    if (command == Command::Verify || command == Command::Read) {
        sub->add_option("--socket", options->socket, "Gang socket 1..4 (default 1)")
            ->check(CLI::Range(1, 4));
    }
    if (command == Command::Update) {
        sub->add_flag("--production", options->isp.production,
                      "ISP by COM Port: program chip after chip until Ctrl-C (\"P.M.\")");
        sub->add_option("--count", options->isp.count, "Production run: stop after N chips")
            ->check(CLI::Range(1, 1000000));
    }
    if (command == Command::Read) {
        sub->add_option("--out", options->out,
                        "Where to save APROM_Contents.BIN, DataFlash_Contents.BIN, "
                        "LDROM_Contents.BIN (default: the working directory)");
    }
    sub->callback([&context, options, command, name] {
        ConsoleOperator op;
        op.setVerbose(!options->quiet);
        op.setSocket(options->socket);
        op.setJson(options->json);
        CommandResult result;
        context.exitStatus = runOperation(context, *options, command, name, op, result);
        if (options->json)
            emitResult(op, context.exitStatus, result);
    });
}

}  // namespace

void addOperationCommands(CLI::App& app, CliContext& context) {
    addOperation(app, context, Command::Download, "download",
                 "Store the programming set in the programmer (\"Download Programmer\")");
    addOperation(app, context, Command::Update, "update",
                 "Program and verify the chip(s) from the programmer's storage");
    addOperation(app, context, Command::Verify, "verify", "Verify a chip against the images");
    addOperation(app, context, Command::Read, "read", "Read a chip back and save its regions");
    addOperation(app, context, Command::Info, "info",
                 "Show the setup stored in the programmer (\"Programmer Information\")");
    addOperation(app, context, Command::ChipCheck, "chip-check",
                 "Check the chip's device id, lock state and trim bytes");
}

}  // namespace tarnel::cli

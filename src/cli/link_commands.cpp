// tarnel ports / identify / fw-update: the serial link and the programmer's firmware.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "cli/cli_context.h"
#include "cli/console_operator.h"
#include "cli/setup_options.h"
#include "core/clock.h"
#include "core/programming_job.h"
#include "link/port_table.h"
#include "link/programmer_link.h"
#include "link/programmer_session.h"
#include "link/system_ports.h"

namespace tarnel::cli {

namespace {

// Everything one programmer command works with, on real time and the real ports.
struct LinkRun {
    SystemClock clock;
    SystemPortFactory ports{clock};
    ProgrammingJob job;
    ConsoleOperator op;
    ProgrammerLink link{ports, clock};
    ProgrammerSession session{job, link, op, clock};
};

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Sets the job up from the options and the global --port, --workdir, --firmware-dir.
int prepare(LinkRun& run, const CliContext& context, const SetupOptions& options,
            const char* command) {
    std::error_code error;
    run.job.workDirectory =
        context.workDir.empty() ? std::filesystem::current_path(error).string() : context.workDir;
    run.session.setFirmwareDirectory(context.firmwareDir);
    if (const int status = applySetupOptions(options, run.job, run.op); status != kExitPass)
        return status;
    if (!context.port.empty()) {
        const std::string remembered = rememberedNameFor(context.port, run.ports.portTable());
        if (remembered.empty()) {
            std::cerr << "tarnel " << command << ": port \"" << context.port
                      << "\" is not in the port table and its name is too long to remember\n";
            return kExitUsage;
        }
        run.job.setComPortName(remembered);
        run.session.setScanAllowed(false);  // a named port is the only port
    }
    return kExitPass;
}

int runPorts() {
    LinkRun run;
    run.link.listAvailablePorts();
    for (const std::string& name : run.link.availablePorts())
        std::cout << run.link.portText(name) << "\n";
    return kExitPass;
}

int runIdentify(const CliContext& context, const SetupOptions& options) {
    LinkRun run;
    if (const int status = prepare(run, context, options, "identify"); status != kExitPass)
        return status;
    ProgrammerSession& session = run.session;
    if (run.job.gangMode) {
        if (!session.searchGangProgrammer() || !session.readGangFirmwareVersion())
            return kExitFail;
        std::cout << "Programmer: Gang (" << hex(kGangProgrammerKind, 2) << ") on "
                  << run.link.portText(run.job.comPortText()) << "\n";
    } else {
        if (!session.searchProgrammer() || !session.readFirmwareVersion())
            return kExitFail;
        const ProgrammerKindRow* row = rowOfVariant(session.firmwareVariant());
        std::cout << "Programmer: " << row->label << " (" << hex(row->kind, 2) << ", "
                  << variantName(session.firmwareVariant()) << ") on "
                  << run.link.portText(run.job.comPortText()) << "\n";
    }
    std::cout << "Firmware version: " << hex(session.firmwareVersion(), 4) << "\n";
    return kExitPass;
}

int runFirmwareUpdate(const CliContext& context, const SetupOptions& options) {
    LinkRun run;
    if (const int status = prepare(run, context, options, "fw-update"); status != kExitPass)
        return status;
    return run.session.reloadFirmware() ? kExitPass : kExitFail;
}

}  // namespace

void addLinkCommands(CLI::App& app, CliContext& context) {
    auto* ports = app.add_subcommand("ports", "List the serial ports that can be opened");
    ports->callback([&context] { context.exitStatus = runPorts(); });

    auto identifyOptions = std::make_shared<SetupOptions>();
    auto* identify = app.add_subcommand(
        "identify",
        "Find the programmer (--gang: the gang programmer), fit its firmware variant to the "
        "part, show its kind and firmware version");
    addSetupOptions(identify, *identifyOptions);
    identify->callback([&context, identifyOptions] {
        context.exitStatus = runIdentify(context, *identifyOptions);
    });

    auto updateOptions = std::make_shared<SetupOptions>();
    auto* update = app.add_subcommand(
        "fw-update", "Load the programmer's firmware again, in the variant the part needs");
    addSetupOptions(update, *updateOptions);
    update->callback([&context, updateOptions] {
        context.exitStatus = runFirmwareUpdate(context, *updateOptions);
    });
}

}  // namespace tarnel::cli

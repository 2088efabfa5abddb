// tarnel: the command line for line engineers' scripts.

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/cli_context.h"

int main(int argc, char** argv) {
    using namespace tarnel::cli;
    // Never destroyed: tearing down every command's options at exit would cost a short
    // command (hex2bin) more than its own work. It stays reachable, so it is no leak.
    static CLI::App& app =
        *new CLI::App{"Tarnel: host for the Corvale device programmer", "tarnel"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tarnel ") + TARNEL_VERSION);

    CliContext context;
    if (const char* dir = std::getenv("TARNEL_FIRMWARE_DIR"))
        context.firmwareDir = dir;
    app.add_option("--port", context.port, "Serial port, as the port list shows it");
    app.add_option("--workdir", context.workDir, "Directory of the settings and port files");
    app.add_option(
        "--firmware-dir", context.firmwareDir,
        "Directory of the programmer firmware files (default: the working directory, then the "
        "installed firmware directory)");

    addCatalogueCommands(app, context);
    addFileCommands(app, context);
    addLineCommands(app, context);
    addLinkCommands(app, context);
    addDoctorCommand(app, context);
    addOperationCommands(app, context);
    addRecordCommands(app, context);
    addTriggerCommand(app, context);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    return context.exitStatus;
}

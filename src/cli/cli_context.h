#pragma once
// State shared by the command-line commands: the global options and the exit status.

#include <string>

namespace CLI {
class App;
}

namespace tarnel::cli {

// Exit statuses: 0 on PASS, 1 on FAIL or WARNING, 2 on bad usage.
inline constexpr int kExitPass = 0;
inline constexpr int kExitFail = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
    std::string port;         // --port NAME: the serial port, as the port list shows it
    std::string workDir;      // --workdir DIR: settings and port files
    std::string firmwareDir;  // --firmware-dir DIR (or TARNEL_FIRMWARE_DIR)
    int exitStatus = kExitPass;
};

// Each command group registers its subcommands; a command's callback sets exitStatus.
void addCatalogueCommands(CLI::App& app, CliContext& context);
void addDoctorCommand(CLI::App& app, CliContext& context);
void addFileCommands(CLI::App& app, CliContext& context);
void addLinkCommands(CLI::App& app, CliContext& context);
void addOperationCommands(CLI::App& app, CliContext& context);
void addTriggerCommand(CLI::App& app, CliContext& context);

}  // namespace tarnel::cli

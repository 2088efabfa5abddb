#pragma once
// State shared by the command-line commands: the global options and the exit status.

#include <string>

namespace CLI {
class App;
}

namespace tarnel::cli {

// Exit statuses by the class of what went wrong; the operation commands take theirs from the
// core's failure class (exitCodeOf), the others use the same numbers.
inline constexpr int kExitPass = 0;
inline constexpr int kExitFail = 1;  // the chip failed (or, outside chip work, the command)
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLink = 3;      // no programmer answered, or the link was lost
inline constexpr int kExitInput = 4;     // an image, project or firmware file error
inline constexpr int kExitOperator = 5;  // a warning that needs the operator

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
void addLineCommands(CLI::App& app, CliContext& context);
void addLinkCommands(CLI::App& app, CliContext& context);
void addOperationCommands(CLI::App& app, CliContext& context);
void addRecordCommands(CLI::App& app, CliContext& context);
void addTriggerCommand(CLI::App& app, CliContext& context);

}  // namespace tarnel::cli

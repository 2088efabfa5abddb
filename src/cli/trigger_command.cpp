// tarnel trigger: the external trigger that makes a running window start the chip check.

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "app/trigger_channel.h"
#include "cli/cli_context.h"

namespace tarnel::cli {

void addTriggerCommand(CLI::App& app, CliContext& context) {
    auto* command = app.add_subcommand(
        "trigger",
        "Send the external trigger to the running window (starts the chip check) or line");
    auto socketPath = std::make_shared<std::string>();
    auto station = std::make_shared<std::string>();
    command->add_option("--station", *station,
                        "Start this station's next update on a running line (`tarnel line run` "
                        "or the line window)");
    command->add_option("--socket", *socketPath, "The window's trigger socket")
        ->default_str(triggerSocketPath());
    command->callback([&context, socketPath, station] {
        const std::string path = socketPath->empty() ? triggerSocketPath() : *socketPath;
        switch (sendTrigger(path, 5000, *station)) {
            case TriggerSend::Accepted:
                std::cout << "Trigger accepted\n";
                context.exitStatus = kExitPass;
                break;
            case TriggerSend::NoWindow:
                std::cerr << "tarnel trigger: no window or line listens on " << path << "\n";
                context.exitStatus = kExitFail;
                break;
            case TriggerSend::Refused:
                if (station->empty())
                    std::cerr << "tarnel trigger: refused: the window is busy, or the line has "
                                 "more than one programmer station (name one with --station)\n";
                else
                    std::cerr << "tarnel trigger: station \"" << *station
                              << "\" cannot start now (unknown, busy or stopped)\n";
                context.exitStatus = kExitFail;
                break;
            case TriggerSend::NoAnswer:
                std::cerr << "tarnel trigger: the window or line did not answer\n";
                context.exitStatus = kExitFail;
                break;
        }
    });
}

}  // namespace tarnel::cli

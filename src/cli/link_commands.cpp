// tarnel ports / identify / fw-update: the serial link and the programmer's firmware.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_context.h"
#include "cli/terminal_operator.h"
#include "core/clock.h"
#include "core/part_lists.h"
#include "core/programming_job.h"
#include "link/port_table.h"
#include "link/posix_serial_port.h"
#include "link/programmer_link.h"
#include "link/programmer_session.h"

namespace tarnel::cli {

namespace {

const std::map<std::string, std::uint8_t> kTypeNames = {
    {"icp", kTypeIcp}, {"isp", kTypeIsp}, {"com", kTypeIspByCom}};

// What the programmer commands choose: programmer type, part and gang mode.
struct Selection {
    std::string type = "icp";
    std::string part;
    bool gang = false;
};

// Everything one programmer command works with, on real time and the real ports.
struct LinkRun {
    SystemClock clock;
    PosixPortFactory ports{clock};
    ProgrammingJob job;
    TerminalOperator op{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    ProgrammerLink link{job, ports, clock};
    ProgrammerSession session{job, link, op, clock};
};

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::optional<std::uint32_t> findPartIndex(const ProgrammingJob& job, const std::string& text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        if (text.size() > 4)
            return std::nullopt;
        const auto index = static_cast<std::uint32_t>(std::stoul(text));
        if (!ChipCatalogue::contains(index))
            return std::nullopt;
        const std::string_view number = job.catalogue.partAt(index).partNumber;
        if (number.empty() || number == "-")
            return std::nullopt;
        return index;
    }
    return job.catalogue.findPart(ChipCatalogue::nameAliases(text), job.icpMode);
}

// Sets the job up from the options; a usage error is printed and false returned.
bool prepare(LinkRun& run, const CliContext& context, const Selection& selection,
             const char* command) {
    std::error_code error;
    run.job.workDirectory =
        context.workDir.empty() ? std::filesystem::current_path(error).string() : context.workDir;
    run.session.firmwareDirectory = context.firmwareDir;

    run.job.programmerType = kTypeNames.at(selection.type);
    if (selection.gang)
        run.job.programmerType |= kTypeGang;
    run.job.partIndex =
        run.job.programmerType & kTypeIcp ? run.job.savedIcpPartIndex : run.job.savedIspPartIndex;
    run.job.refreshDerivedState();
    applyLegacyListMask(run.job);
    if (!selection.part.empty()) {
        const auto index = findPartIndex(run.job, selection.part);
        if (!index) {
            std::cerr << "tarnel " << command << ": no part \"" << selection.part
                      << "\" for this programmer type\n";
            return false;
        }
        run.job.partIndex = *index;
        run.job.refreshDerivedState();
    }

    if (!context.port.empty()) {
        const std::string remembered = rememberedNameFor(context.port, run.ports.portTable());
        if (remembered.empty()) {
            std::cerr << "tarnel " << command << ": port \"" << context.port
                      << "\" is not in the port table and its name is too long\n";
            return false;
        }
        run.job.setComPortName(remembered);
    }
    return true;
}

void addSelectionOptions(CLI::App* command, Selection& selection) {
    command->add_option("--type", selection.type, "Programmer type: icp, isp or com (default icp)")
        ->check(CLI::IsMember({"icp", "isp", "com"}));
    command->add_option("--part", selection.part, "Part number or catalogue index");
}

int runPorts() {
    LinkRun run;
    run.link.listAvailablePorts();
    for (const std::string& name : run.link.availablePorts())
        std::cout << run.link.portText(name) << "\n";
    return kExitPass;
}

int runIdentify(const CliContext& context, const Selection& selection) {
    LinkRun run;
    if (!prepare(run, context, selection, "identify"))
        return kExitUsage;
    ProgrammerSession& session = run.session;
    if (selection.gang) {
        if (!session.searchGangProgrammer() || !session.readGangFirmwareVersion())
            return kExitFail;
        std::cout << "Programmer: Gang (" << hex(kGangProgrammerKind, 2) << ") on "
                  << run.link.rememberedPortText() << "\n";
    } else {
        if (!session.searchProgrammer() || !session.readFirmwareVersion())
            return kExitFail;
        const ProgrammerKindRow* row = rowOfVariant(session.firmwareVariant);
        std::cout << "Programmer: " << row->label << " (" << hex(row->kind, 2) << ", "
                  << variantName(session.firmwareVariant) << ") on "
                  << run.link.rememberedPortText() << "\n";
    }
    std::cout << "Firmware version: " << hex(session.firmwareVersion, 4) << "\n";
    return run.op.failed() ? kExitFail : kExitPass;
}

int runFirmwareUpdate(const CliContext& context, const Selection& selection) {
    LinkRun run;
    if (!prepare(run, context, selection, "fw-update"))
        return kExitUsage;
    const bool updated = run.session.reloadFirmware();
    return updated && !run.op.failed() ? kExitPass : kExitFail;
}

}  // namespace

void addLinkCommands(CLI::App& app, CliContext& context) {
    auto* ports = app.add_subcommand("ports", "List the serial ports that can be opened");
    ports->callback([&context] { context.exitStatus = runPorts(); });

    auto identifySelection = std::make_shared<Selection>();
    auto* identify = app.add_subcommand(
        "identify", "Find the programmer, fit its firmware variant to the part, show its version");
    addSelectionOptions(identify, *identifySelection);
    identify->add_flag("--gang", identifySelection->gang, "Look for the gang programmer");
    identify->callback([&context, identifySelection] {
        context.exitStatus = runIdentify(context, *identifySelection);
    });

    auto updateSelection = std::make_shared<Selection>();
    auto* update = app.add_subcommand(
        "fw-update", "Load the programmer's firmware again, in the variant the part needs");
    addSelectionOptions(update, *updateSelection);
    update->callback([&context, updateSelection] {
        context.exitStatus = runFirmwareUpdate(context, *updateSelection);
    });
}

}  // namespace tarnel::cli

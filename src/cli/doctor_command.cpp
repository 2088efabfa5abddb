// tarnel doctor: every serial port, what the system knows about it, whether this user can
// open it and what to do when not; --probe then asks each whether a programmer answers.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "cli/cli_context.h"
#include "core/clock.h"
#include "core/operator.h"
#include "core/programming_job.h"
#include "link/port_doctor.h"
#include "link/port_table.h"
#include "link/programmer_kind.h"
#include "link/programmer_link.h"
#include "link/programmer_session.h"
#include "link/system_ports.h"

namespace tarnel::cli {

namespace {

// Takes every call and shows nothing: a probe reports in its own words.
class SilentOperator : public Operator {
  public:
    void setStatus(std::string_view) override {}
    void setProgressRange(int) override {}
    void setProgressStep(int) override {}
    void setProgressPosition(int) override {}
    void stepProgress() override {}
    void setPortText(std::string_view) override {}
    void setProgrammerTypeLabel(std::string_view) override {}
    void beep(BeepKind) override {}
    void showResultBox(ResultKind, std::string_view, bool) override {}
    void showMessageBox(std::string_view, std::string_view, BoxIcon) override {}
    int chooseSocket(int current) override { return current; }
    void showReadBack(const ReadBackState&, std::uint32_t) override {}
    void showConfigView(ConfigLayout, std::uint32_t, const std::array<std::uint8_t, 8>&) override {}
};

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Identify and version queries only: nothing is stored, loaded or reset. The messages a
// failing exchange would show go nowhere, not to the terminal.
std::string probeProgrammer(const std::string& device, PortFactory& ports, Clock& clock) {
    ProgrammingJob job;
    const std::string remembered = rememberedNameFor(device, ports.portTable());
    if (remembered.empty())
        return "not probed: the port is not in the port table";
    job.setComPortName(remembered);
#if !defined(_WIN32)
    // A first open tells why a port cannot be had (errno is set by the failing call).
    errno = 0;
    if (!ports.open(device)) {
        const int error = errno;
        if (error == EBUSY || error == EWOULDBLOCK)
            return "cannot be opened: busy (EBUSY): another program holds it exclusively";
        if (error == EACCES)
            return "cannot be opened: permission denied (EACCES)";
        return std::string("cannot be opened: ") + std::strerror(error);
    }
#endif
    SilentOperator quiet;
    ProgrammerLink link{ports, clock};
    ProgrammerSession session{job, link, quiet, clock};
    if (!link.open(job.comPortText(), kProgrammerBaudRate))
        return "cannot be opened now (in use elsewhere, or no permission)";
    std::uint8_t kind = 0;
    session.setLastCommand(command::kIdentify);
    if (!session.sendCommandByte(command::kIdentify) || !session.receiveByte(kind) ||
        !isProgrammerIdentity(kind))
        return "no programmer answered";
    const bool gang = kind == kGangProgrammerKind;
    const ProgrammerKindRow* row = rowOfKind(kind);
    std::string text = "programmer ";
    text += gang ? std::string("Gang") : row != nullptr ? std::string(row->label) : "?";
    text += " (" + hex(kind, 2) + ")";
    const bool version = gang ? session.readGangFirmwareVersion() : session.readFirmwareVersion();
    text += version ? ", firmware " + hex(session.firmwareVersion(), 4)
                    : ", no answer to the version query";
    return text;
}

int runDoctor(bool probe) {
    SystemClock clock;
    SystemPortFactory ports{clock};
    const std::vector<std::string> table = ports.portTable();
    int shown = 0;
#if defined(_WIN32)
    // Windows names no more than COM1..COM256: the ports that open are the ones present.
    for (const std::string& device : table) {
        if (!ports.open(device))
            continue;
        ++shown;
        std::cout << portDisplayName(device) << "\n  access: can be opened\n";
        if (probe)
            std::cout << "  probe: " << probeProgrammer(device, ports, clock) << "\n";
    }
#else
    const DoctorPaths paths;
    const DoctorUser user = DoctorUser::current();
    for (const std::string& device : table) {
        const PortReport report = examinePort(device, paths, user);
        ++shown;
        std::cout << formatReport(report);
        if (probe && (report.access == PortAccess::Ok || report.access == PortAccess::InUse))
            std::cout << "  probe: " << probeProgrammer(device, ports, clock) << "\n";
        if (report.stableNames.empty())
            continue;
        std::cout << "  in scripts: --port " << stableNameOf(report)
                  << " (or TARNEL_PORTS) survives re-plugging\n";
    }
#endif
    if (shown == 0)
        std::cout << "No serial port found.\n";
    return kExitPass;
}

}  // namespace

void addDoctorCommand(CLI::App& app, CliContext& context) {
    auto* doctor = app.add_subcommand(
        "doctor",
        "Check every serial port: stable names, USB identity, driver, whether it can be "
        "opened and what to do when not");
    auto probe = std::make_shared<bool>(false);
    doctor->add_flag("--probe", *probe,
                     "Also ask each port whether a programmer answers (kind and firmware "
                     "version; nothing is changed)");
    doctor->callback([&context, probe] { context.exitStatus = runDoctor(*probe); });
}

}  // namespace tarnel::cli

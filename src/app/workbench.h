#pragma once
// The Workbench owns what the main window owns: the job, the serial link with its programmer
// session, and the read-back state. Every front drives the same commands through it. A
// command is prepared on the calling thread (the window's), then its worker runs under the
// job's busy guard, either on a worker thread (the window) or on the calling thread (the
// command line).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/command_worker.h"
#include "core/clock.h"
#include "core/operator.h"
#include "core/outcome_reporter.h"
#include "core/production_record.h"
#include "core/programming_job.h"
#include "core/read_back.h"
#include "core/serial_ledger.h"
#include "core/serial_number_source.h"
#include "isp/uart_isp.h"
#include "link/programmer_link.h"
#include "link/programmer_session.h"

namespace tarnel {

class Workbench {
  public:
    enum class RunOn { WorkerThread, CallingThread };

    Workbench(Operator& op, Clock& clock, PortFactory& ports, RunOn runOn = RunOn::WorkerThread);
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // Start-up: the working directory and settings path, the settings file (or the defaults),
    // the derived state, the legacy list masking and the remembered parts.
    void startUp(const std::string& workDirectory);
    // Writes the settings file; false (after the FAIL box) when it cannot be written.
    bool saveSettings();

    ProgrammingJob& job() { return job_; }
    ReadBackState& readBack() { return readBack_; }
    ProgrammerLink& link() { return link_; }
    ProgrammerSession& session() { return session_; }
    // The operator every command talks to: the front's, behind the outcome reporter.
    Operator& op() { return op_; }
    // Chip outcomes: listeners added here hear every result before it is shown. The
    // production record of the working directory is always one of them.
    OutcomeFanOut& outcomes() { return reporter_.listeners(); }
    // Outcomes go to this record instead of the working directory's (a line's shared record).
    void useRecord(OutcomeSink& record);
    // The result of the last command (for the exit status); valid once it has ended.
    CommandResult lastResult() const { return reporter_.lastResult(); }
    UartIsp& isp() { return isp_; }

    bool busy() const { return job_.busy.load(); }
    // On a line: the serial numbers written to chips come from `ledger`, drawn as `station`
    // (null: the job's own counter again, as outside a line). The station's hand-outs left
    // open by an earlier run are recovered first: those never sent go back, those that may
    // have reached a chip are retired and entered in the production record. False with the
    // reason when the ledger cannot be reached; the station must not run then. Not while a
    // command runs.
    bool useSerialLedger(SerialLedger* ledger, std::string station, std::string* error);
    // The station's name on a line (empty otherwise): every chip outcome carries it.
    void setStation(std::string station) { station_ = std::move(station); }
    const std::string& station() const { return station_; }
    // The ledger failure met last when closing a chip's hand-out (empty when none): the line
    // stops the station before its next chip. Cleared by clearSerialLedgerTrouble.
    std::string serialLedgerTrouble() const;
    void clearSerialLedgerTrouble();

    // Waits for the running worker, if any.
    void waitForWorker() { worker_.wait(); }

    // Commands. Each returns false when it did not start (a command was running, or its
    // preparation on this thread failed and has told the operator why).
    bool download(bool updateIspDownload = false);
    bool update();
    bool verify();
    bool read();
    bool chipCheck();
    // These two run to their end on the calling thread.
    void programmerInformation();
    bool firmwareUpdate();

    // "P.M." unticked (or Exit while a production loop runs): production mode off, which ends
    // a running production loop at its next detection step. Safe from any thread.
    void stopProductionMode();
    // "P.M." clicked: ticking turns production mode on, unticking (or any click while a
    // command runs) turns it off.
    void toggleProductionMode(bool ticked);
    // The ISP port search: the remembered ISP port, the COM-port list and its selection.
    void searchIspPorts() { isp_.searchIspPorts(); }
    // The COM-port search of ISP by COM Port as a worker. It takes the busy guard too, so a
    // command can never share the serial link with it; false when a command runs.
    bool startIspPortSearch();

  private:
    // Starts a command's worker as one outcome-reporting command; the command ends with the
    // worker, or at once when it did not start.
    bool startCommand(ChipOperation operation, std::function<bool()> prepare,
                      std::function<void()> body);
    bool startWorker(std::function<void()> body);
    // The worker body of Update Chip: the programmer's update, or the boot loader's.
    void updateChips();
    LinkContext linkContext();
    // Enters a retired S/N in the production record (and every other outcome listener).
    void recordRetired(SerialValue value, std::string_view why);
    bool reloadImages();

    RunOn runOn_;
    ProgrammingJob job_;
    OutcomeReporter reporter_;
    Operator& op_;
    ProductionRecord record_;
    ReadBackState readBack_;
    ProgrammerLink link_;
    ProgrammerSession session_;
    UartIsp isp_;
    CommandWorker worker_{job_.busy};
    int commandSocket_ = 0;  // the gang socket of the running command, 0 for all or none
    std::string station_;
    std::unique_ptr<SerialNumberSource> serialSource_;
};

}  // namespace tarnel

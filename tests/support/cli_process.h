#pragma once
// Running the real binaries from end-to-end tests: a command line with its output and exit
// status, and a tarnel-sim serve process on a pseudo-terminal.

#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/scratch_dir.h"
#include "testkit/server_process.h"

namespace tarnel::test {

extern const std::string kTarnel;  // the tarnel binary of this build
extern const std::string kSim;     // the tarnel-sim binary of this build

struct CliRun {
    int status = -1;
    std::string out;  // stdout and stderr together
};

// Runs a shell command line; its output and exit status.
CliRun run(const std::string& command);
// Runs tarnel with the arguments.
inline CliRun tarnelRun(const std::string& args) {
    return run(kTarnel + " " + args);
}

bool contains(const std::string& text, const std::string& part);

// The JSON objects of a --json run's output, one per line.
std::vector<nlohmann::json> jsonLines(const std::string& out);

// That the run ended with `status` and its output holds each of `texts`; the output when not.
::testing::AssertionResult ran(const CliRun& run, int status,
                               std::initializer_list<std::string> texts = {});

// A tarnel-sim serve process with its scenario, ended with SIGTERM. A paced line holds both
// directions to the baud rate, as a real one does (for paths whose timing matters).
class SimProcess {
  public:
    enum class Line { Instant, Paced };
    SimProcess(const ScratchDir& dir, const std::string& scenarioJson,
               const std::string& name = "sim", Line line = Line::Instant);
    // One process serving a line of stations, one per scenario: station i's link is
    // "<name>-<i>-link".
    SimProcess(const ScratchDir& dir, const std::vector<std::string>& scenarioJsons,
               const std::string& name, Line line = Line::Instant);
    // Ends the simulator; its exit status, or -1 if it had to be killed.
    int stop() { return server_ ? server_->stop() : -1; }

    const std::string& link() const { return link_; }
    const std::string& ptyPath() const { return ptyPaths_.front(); }
    std::string link(std::size_t station) const { return links_.at(station); }

  private:
    void start(const ScratchDir& dir, const std::vector<std::string>& scenarioJsons,
               const std::vector<std::string>& names, bool single, Line line);

    std::string link_;
    std::vector<std::string> links_;
    std::vector<std::string> ptyPaths_{std::string()};
    std::unique_ptr<ServerProcess> server_;
};

}  // namespace tarnel::test

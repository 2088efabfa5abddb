#include "support/cli_process.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace tarnel::test {

const std::string kTarnel = std::string(TARNEL_BINARY_DIR) + "/src/cli/tarnel";
const std::string kSim = std::string(TARNEL_BINARY_DIR) + "/src/sim/tarnel-sim";

CliRun run(const std::string& command) {
    CliRun result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<nlohmann::json> jsonLines(const std::string& out) {
    std::vector<nlohmann::json> events;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        events.push_back(nlohmann::json::parse(out.substr(start, end - start)));
    return events;
}

::testing::AssertionResult ran(const CliRun& run, int status,
                               std::initializer_list<std::string> texts) {
    if (run.status != status)
        return ::testing::AssertionFailure() << "status " << run.status << ":\n" << run.out;
    for (const std::string& text : texts) {
        if (!contains(run.out, text))
            return ::testing::AssertionFailure() << "no \"" << text << "\" in:\n" << run.out;
    }
    return ::testing::AssertionSuccess();
}

SimProcess::SimProcess(const ScratchDir& dir, const std::string& scenarioJson,
                       const std::string& name, Line line) {
    start(dir, {scenarioJson}, {name}, true, line);
}

SimProcess::SimProcess(const ScratchDir& dir, const std::vector<std::string>& scenarioJsons,
                       const std::string& name, Line line) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < scenarioJsons.size(); ++i)
        names.push_back(name + "-" + std::to_string(i));
    start(dir, scenarioJsons, names, false, line);
}

void SimProcess::start(const ScratchDir& dir, const std::vector<std::string>& scenarioJsons,
                       const std::vector<std::string>& names, bool single, Line line) {
    // The single form keeps the --scenario/--link options; a line uses --station.
    std::vector<std::string> args{kSim, "serve"};
    for (std::size_t i = 0; i < scenarioJsons.size(); ++i) {
        const std::string scenario = dir.write(names[i] + ".json", scenarioJsons[i]);
        links_.push_back(dir.file(names[i] + "-link"));
        if (single) {
            args.insert(args.end(), {"--scenario", scenario, "--link", links_.back()});
        } else {
            args.insert(args.end(), {"--station", scenario + "=" + links_.back()});
        }
    }
    link_ = links_.front();
    if (line == Line::Paced)
        args.emplace_back("--paced");
    // One line per station, each a pseudo-terminal's path: the simulator is ready.
    server_ = std::make_unique<ServerProcess>(args, scenarioJsons.size());
    ptyPaths_ = server_->lines();
    if (ptyPaths_.empty())
        ptyPaths_.emplace_back();
}

}  // namespace tarnel::test

#include "support/cli_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

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
                       const std::string& name, Line line)
    : link_(dir.file(name + "-link")) {
    const std::string scenario = dir.file(name + ".json");
    FILE* file = std::fopen(scenario.c_str(), "w");
    if (file == nullptr)
        return;
    std::fputs(scenarioJson.c_str(), file);
    std::fclose(file);

    int out[2];
    if (::pipe(out) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(kSim.c_str(), kSim.c_str(), "serve", "--scenario", scenario.c_str(), "--link",
                link_.c_str(), line == Line::Paced ? "--paced" : static_cast<char*>(nullptr),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    // The first line is the pseudo-terminal's path: the simulator is ready.
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        ptyPath_ += c;
    ::close(out[0]);
}

int SimProcess::stop() {
    if (pid_ <= 0)
        return exitStatus_;
    ::kill(pid_, SIGTERM);
    int raw = 0;
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
            pid_ = -1;
            exitStatus_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            return exitStatus_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    return -1;
}

}  // namespace tarnel::test

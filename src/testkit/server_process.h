#pragma once
// Running the real binaries from the end-to-end tests and the benchmarks (POSIX): a program
// started with chosen standard streams, and a server that says when it is ready.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tarnel {

// Starts args[0] with the arguments `args`; the child's standard input, output and error
// become `in`, `out` and `err` (-1 leaves one as it is). The child's pid, or -1.
pid_t spawnProgram(const std::vector<std::string>& args, int in = -1, int out = -1, int err = -1);

// A program that prints one line for each thing it has made ready (tarnel-sim serve: a
// pseudo-terminal's path per station), then serves until it is ended with SIGTERM.
class ServerProcess {
  public:
    // Starts it and reads `lines` lines of its output; fewer if its output ends first.
    ServerProcess(const std::vector<std::string>& args, std::size_t lines);
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Ends it (SIGTERM, SIGKILL after 5 s); its exit status, or -1 if it had to be killed.
    int stop();

    // The lines it printed when it started, without their line ends.
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    pid_t pid_ = -1;
    int exitStatus_ = -1;
    std::vector<std::string> lines_;
};

}  // namespace tarnel

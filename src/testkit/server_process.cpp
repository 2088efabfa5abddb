#include "testkit/server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tarnel {

pid_t spawnProgram(const std::vector<std::string>& args, int in, int out, int err) {
    // Built before the fork: the child only duplicates descriptors and executes.
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (in >= 0)
            ::dup2(in, STDIN_FILENO);
        if (out >= 0)
            ::dup2(out, STDOUT_FILENO);
        if (err >= 0)
            ::dup2(err, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

ServerProcess::ServerProcess(const std::vector<std::string>& args, std::size_t lines) {
    // Close-on-exec, so that the child keeps only its standard output's copy of the pipe.
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    pid_ = spawnProgram(args, -1, out[1]);
    ::close(out[1]);
    std::string line;
    char c = 0;
    while (pid_ > 0 && lines_.size() < lines && ::read(out[0], &c, 1) == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        lines_.push_back(line);
        line.clear();
    }
    ::close(out[0]);
}

int ServerProcess::stop() {
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

}  // namespace tarnel

// How long the programmer port scan takes over 256 slots when nothing answers, on the real
// POSIX ports: slots whose device does not exist, the serial devices of this machine, and
// pseudo-terminals that open but stay silent.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "core/clock.h"
#include "core/programming_job.h"
#include "link/posix_serial_port.h"
#include "link/programmer_link.h"
#include "sim/pseudo_terminal.h"

namespace {

using namespace tarnel;

// Scans with TARNEL_PORTS set to the given paths (unset when empty).
void scan(benchmark::State& state, const std::string& tarnelPorts) {
    if (tarnelPorts.empty()) {
        ::unsetenv("TARNEL_PORTS");
    } else {
        ::setenv("TARNEL_PORTS", tarnelPorts.c_str(), 1);
    }
    SystemClock clock;
    PosixPortFactory ports(clock);
    ProgrammerLink link(ports, clock);
    state.counters["slots"] = static_cast<double>(ports.portTable().size());
    for (auto _ : state) {
        if (link.findProgrammerPort())
            state.SkipWithError("something answered");
    }
}

std::string absentPorts(int count) {
    std::string paths;
    for (int i = 0; i < count; ++i)
        paths += "/nonexistent/port" + std::to_string(i) + ":";
    return paths;
}

// 256 slots, none of which exists.
void BM_ScanAbsentPorts(benchmark::State& state) {
    scan(state, absentPorts(256));
}
BENCHMARK(BM_ScanAbsentPorts)->Unit(benchmark::kMillisecond);

// The table this machine gives with no TARNEL_PORTS: its serial devices, the rest empty.
void BM_ScanThisMachine(benchmark::State& state) {
    scan(state, "");
}
BENCHMARK(BM_ScanThisMachine)->Unit(benchmark::kMillisecond);

// Some silent pseudo-terminals among 256 slots: each costs its two probe reads.
void BM_ScanSilentTerminals(benchmark::State& state) {
    std::vector<sim::PseudoTerminal> terminals;
    std::string paths;
    std::string error;
    for (int i = 0; i < state.range(0); ++i) {
        auto pty = sim::openPseudoTerminal(error);
        if (!pty) {
            state.SkipWithError(error.c_str());
            return;
        }
        paths += pty->slavePath + ":";
        terminals.push_back(std::move(*pty));
    }
    scan(state, paths + absentPorts(256 - static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ScanSilentTerminals)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

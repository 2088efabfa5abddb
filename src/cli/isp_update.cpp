#include "cli/isp_update.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

#include <atomic>
#include <ctime>
#include <iostream>
#include <thread>

#include "link/port_table.h"

namespace tarnel::cli {

void ChipLimitOperator::showResultBox(ResultKind kind, std::string_view text, bool autoClose) {
    console_.showResultBox(kind, text, autoClose);
    if (limit_ > 0 && ++results_ == limit_ && reached_)
        reached_();
}

namespace {

// While it lives, Ctrl-C (and SIGTERM) turn production mode off instead of ending the
// program, as unticking "P.M." would: the chip being programmed is finished first. The
// signals are taken by a watcher thread, so no work is done inside a signal handler.
#if defined(_WIN32)
// Windows calls console control handlers on a thread of their own.
class InterruptWatcher {
  public:
    explicit InterruptWatcher(Workbench& bench) {
        bench_.store(&bench);
        ::SetConsoleCtrlHandler(onControl, TRUE);
    }
    ~InterruptWatcher() {
        ::SetConsoleCtrlHandler(onControl, FALSE);
        bench_.store(nullptr);
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

  private:
    static BOOL WINAPI onControl(DWORD type) {
        Workbench* bench = bench_.load();
        if (bench == nullptr || (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT))
            return FALSE;
        std::cerr << "tarnel: interrupted; production mode off\n";
        bench->stopProductionMode();
        return TRUE;
    }
    static inline std::atomic<Workbench*> bench_{nullptr};
};
#else
class InterruptWatcher {
  public:
    explicit InterruptWatcher(Workbench& bench) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        thread_ = std::thread([this, &bench] {
            const timespec wait{0, 100 * 1000 * 1000};
            while (!done_.load()) {
                if (sigtimedwait(&signals_, nullptr, &wait) > 0) {
                    std::cerr << "tarnel: interrupted; production mode off\n";
                    bench.stopProductionMode();
                }
            }
        });
    }
    ~InterruptWatcher() {
        done_.store(true);
        thread_.join();
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

  private:
    sigset_t signals_{};
    sigset_t previous_{};
    std::atomic<bool> done_{false};
    std::thread thread_;
};
#endif

}  // namespace

int exitStatusOf(const CommandResult& result, bool started, bool resultOptional,
                 const ConsoleOperator& console) {
    if (result.failureClass != FailureClass::None)
        return exitCodeOf(result.failureClass);
    if (console.saveFailures() > 0)
        return kExitInput;
    if (!started || (!resultOptional && result.passes == 0))
        return kExitFail;
    return kExitPass;
}

int runIspUpdate(Workbench& bench, PortFactory& ports, ChipLimitOperator& limiter,
                 const ConsoleOperator& console, const CliContext& context,
                 const IspRunOptions& options) {
    bench.searchIspPorts();
    if (!context.port.empty()) {
        const std::string remembered = rememberedNameFor(context.port, ports.portTable());
        if (remembered.empty() || !bench.isp().selectPortNamed(remembered)) {
            std::cerr << "tarnel update: port \"" << context.port
                      << "\" is not among the available ports\n";
            return kExitUsage;
        }
    }
    bool started = false;
    if (options.production) {
        bench.toggleProductionMode(true);
        limiter.setLimit(options.count, [&bench] { bench.stopProductionMode(); });
        InterruptWatcher watcher(bench);
        started = bench.update();
        bench.waitForWorker();
    } else {
        bench.toggleProductionMode(false);
        started = bench.update();
        bench.waitForWorker();
    }
    bench.stopProductionMode();
    bench.saveSettings();

    // A production run may end before any chip; the single update must end in a PASS.
    return exitStatusOf(bench.lastResult(), started, options.production, console);
}

}  // namespace tarnel::cli

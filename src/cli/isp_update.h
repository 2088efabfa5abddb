#pragma once
// tarnel update --type com: the single ISP update of one chip over its COM port, or the
// production loop chip after chip until the count is reached or Ctrl-C turns production
// mode off.

#include <functional>

#include "app/workbench.h"
#include "cli/cli_context.h"
#include "cli/console_operator.h"

namespace tarnel::cli {

struct IspRunOptions {
    bool production = false;
    int count = 0;  // chips of the production run; 0: until interrupted
};

// Forwards everything to the console; after `limit` result boxes (one per chip) it calls
// the limit handler once.
class ChipLimitOperator : public Operator {
  public:
    explicit ChipLimitOperator(ConsoleOperator& console) : console_(console) {}
    void setLimit(int limit, std::function<void()> reached) {
        limit_ = limit;
        reached_ = std::move(reached);
    }

    void setStatus(std::string_view text) override { console_.setStatus(text); }
    void setProgressRange(int maximum) override { console_.setProgressRange(maximum); }
    void setProgressStep(int step) override { console_.setProgressStep(step); }
    void setProgressPosition(int position) override { console_.setProgressPosition(position); }
    void stepProgress() override { console_.stepProgress(); }
    void setPortText(std::string_view text) override { console_.setPortText(text); }
    void setProgrammerTypeLabel(std::string_view text) override {
        console_.setProgrammerTypeLabel(text);
    }
    void beep(BeepKind kind) override { console_.beep(kind); }
    void showResultBox(ResultKind kind, std::string_view text, bool autoClose) override;
    void showMessageBox(std::string_view caption, std::string_view text, BoxIcon icon) override {
        console_.showMessageBox(caption, text, icon);
    }
    int chooseSocket(int current) override { return console_.chooseSocket(current); }
    void showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) override {
        console_.showReadBack(readBack, partIndex);
    }
    void showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                        const std::array<std::uint8_t, 8>& bytes) override {
        console_.showConfigView(layout, partIndex, bytes);
    }

  private:
    ConsoleOperator& console_;
    int limit_ = 0;
    int results_ = 0;
    std::function<void()> reached_;
};

// The exit status of a command through the Workbench: the class of its worst outcome; a
// command that did not start, or ended without a result where one was due, failed; a
// read-back that could not be saved is a file error.
int exitStatusOf(const CommandResult& result, bool started, bool resultOptional,
                 const ConsoleOperator& console);

// Runs the ISP update on the prepared job; the exit status.
int runIspUpdate(Workbench& bench, PortFactory& ports, ChipLimitOperator& limiter,
                 const ConsoleOperator& console, const CliContext& context,
                 const IspRunOptions& options);

}  // namespace tarnel::cli

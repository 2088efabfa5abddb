#pragma once
// Small pieces shared by the verify, read, information and chip-check operations.

#include <cstdint>
#include <string>
#include <utility>

#include "core/operator.h"

namespace tarnel::steps {

// The progress bar set up to count n ticks: range 0..n, step 1, position 0.
inline void countTicks(Operator& op, std::uint32_t n) {
    op.setProgressRange(static_cast<int>(n));
    op.setProgressStep(1);
    op.setProgressPosition(0);
}

// Runs an action when the scope is left, whichever way: for the flags and time-outs that an
// operation sets for its run and must restore on every way out.
template <typename Action>
class OnExit {
  public:
    explicit OnExit(Action action) : action_(std::move(action)) {}
    ~OnExit() { action_(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

  private:
    Action action_;
};

// "Sync #n error !" for gang socket n.
inline std::string syncErrorText(int socket) {
    return "Sync #" + std::to_string(socket) + " error !";
}

}  // namespace tarnel::steps

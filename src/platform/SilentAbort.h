// The silent abort: a failing operation stores its error number in its object and unwinds
// with SilentAbort to the nearest dispatcher (the hand-off delivery, the window's event
// handling) or to a thread's guard, where it is swallowed without a message. Nothing else
// catches it, so everything after the failing step is skipped while what was done stays done.
#pragma once

#include <exception>
#include <utility>

namespace platform {

class SilentAbort final : public std::exception {
 public:
  const char* what() const noexcept override { return "operation abandoned"; }
};

// Runs `action` as a dispatcher does: a silent abort ends it quietly. Returns false when the
// action was abandoned.
template <typename Action>
bool RunGuarded(Action&& action) {
  try {
    std::forward<Action>(action)();
    return true;
  } catch (const SilentAbort&) {
    return false;
  }
}

}  // namespace platform

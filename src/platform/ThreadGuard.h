// A thread's guard. The silent abort ends a thread's work quietly, as it ends a dispatcher's
// operation; any other failure ends it too, but not unseen: it goes to the fault log, which the
// window keeps under a logging category of its own, off unless asked for.
#pragma once

#include <exception>
#include <functional>
#include <string_view>
#include <utility>

#include "platform/SilentAbort.h"

namespace platform {

using FaultLog = std::function<void(std::string_view work, std::string_view failure)>;

// Set once, before the threads it is to hear from start; without one, failures go unlogged.
void SetFaultLog(FaultLog log);
void LogFault(std::string_view work, std::string_view failure);

// Runs a thread's `action`, named `work` in the fault log. Returns false when it was ended by a
// failure.
template <typename Action>
bool RunThreadGuarded(std::string_view work, Action&& action) {
  try {
    std::forward<Action>(action)();
    return true;
  } catch (const SilentAbort&) {
  } catch (const std::exception& failure) {
    LogFault(work, failure.what());
  } catch (...) {
    LogFault(work, "a failure that is not an exception");
  }
  return false;
}

}  // namespace platform

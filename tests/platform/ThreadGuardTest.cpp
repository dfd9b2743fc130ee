// A thread's guard ends the work on any failure; only the silent abort goes unlogged.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ThreadGuard.h"

namespace platform {
namespace {

TEST(ThreadGuardTest, EveryFailureButTheSilentAbortIsLogged) {
  std::vector<std::string> logged;
  SetFaultLog([&](std::string_view work, std::string_view failure) {
    logged.push_back(std::string(work) + ": " + std::string(failure));
  });
  const struct {
    void (*Action)();
    bool Completed;
    std::vector<std::string> Logged;
  } cases[] = {
      {[] {}, true, {}},
      {[] { throw SilentAbort(); }, false, {}},
      {[] { throw std::runtime_error("socket gone"); }, false, {"receive: socket gone"}},
      {[] { throw 7; }, false, {"receive: a failure that is not an exception"}},
  };
  for (const auto& c : cases) {
    logged.clear();
    EXPECT_EQ(RunThreadGuarded("receive", c.Action), c.Completed);
    EXPECT_EQ(logged, c.Logged);
  }
  SetFaultLog(nullptr);
}

}  // namespace
}  // namespace platform

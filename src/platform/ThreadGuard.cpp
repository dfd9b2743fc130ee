#include "platform/ThreadGuard.h"

namespace platform {

namespace {
FaultLog& InstalledLog() {
  static FaultLog log;
  return log;
}
}  // namespace

void SetFaultLog(FaultLog log) {
  InstalledLog() = std::move(log);
}

void LogFault(std::string_view work, std::string_view failure) {
  if (const FaultLog& log = InstalledLog()) log(work, failure);
}

}  // namespace platform

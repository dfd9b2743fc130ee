#include "platform/TickCount.h"

#include <time.h>

namespace platform {

std::uint32_t GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(milliseconds);
}

}  // namespace platform

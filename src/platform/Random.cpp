#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <system_error>

namespace platform {

std::string SecureRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t got = getrandom(bytes.data() + filled, count - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    filled += static_cast<std::size_t>(got);
  }
  return bytes;
}

}  // namespace platform

#pragma once

#include <cstddef>
#include <string>

namespace platform {

// `count` bytes from the system's cryptographically secure generator.
std::string SecureRandomBytes(std::size_t count);

}  // namespace platform

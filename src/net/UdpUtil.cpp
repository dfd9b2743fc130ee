#include "net/UdpUtil.h"

#include "platform/Random.h"

namespace net {

namespace {
constexpr std::size_t kRandomLength = 16;
constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

void Swap32(std::uint32_t& value) {
  value = ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) |
          ((value & 0x00FF0000u) >> 8) | ((value & 0xFF000000u) >> 24);
}

std::string ToHex(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

std::string RandomBytes() {
  return platform::SecureRandomBytes(kRandomLength);
}

std::string RandomHex() {
  return ToHex(RandomBytes());
}

}  // namespace net

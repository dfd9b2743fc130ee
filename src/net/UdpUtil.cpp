#include "net/UdpUtil.h"

#include "platform/Random.h"

namespace net {

namespace {
constexpr std::size_t kRandomLength = 16;
constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

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

// MD5 message digest (RFC 1321), for SIP digest authentication.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sip {

struct MD5Context {
  std::uint32_t State[4];
  std::uint32_t Count[2];  // bits processed, low word first
  std::uint8_t Buffer[64];
};

using MD5Digest = std::array<std::uint8_t, 16>;

void MD5Init(MD5Context& context);
void MD5Update(MD5Context& context, const void* bytes, std::size_t length);
// Pads, writes the digest and wipes the context.
void MD5Final(MD5Context& context, MD5Digest& digest);
void MD5String(const std::string& text, MD5Digest& digest);
// 32 lower-case hexadecimal characters, byte 0 first, high half first.
std::string MD5Print(const MD5Digest& digest);

}  // namespace sip

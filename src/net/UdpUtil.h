// Small routines the protocol clients share: hexadecimal text and random identifiers (Call-ID
// and branch parts, the STUN transaction ID).
#pragma once

#include <cstdint>
#include <string>

namespace net {

// Each byte as two characters of "0123456789ABCDEF", high half first.
std::string ToHex(const std::string& bytes);
// 16 random bytes.
std::string RandomBytes();
// ToHex of RandomBytes: 32 upper-case hexadecimal characters.
std::string RandomHex();

}  // namespace net

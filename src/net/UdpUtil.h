// Small routines the protocol clients share: byte-order reversal, hexadecimal text and random
// identifiers (Call-ID and branch parts, the STUN transaction ID).
#pragma once

#include <cstdint>
#include <string>

namespace net {

// Reverses the four bytes in place (network to host order and back).
void Swap32(std::uint32_t& value);
// Each byte as two characters of "0123456789ABCDEF", high half first.
std::string ToHex(const std::string& bytes);
// 16 random bytes.
std::string RandomBytes();
// ToHex of RandomBytes: 32 upper-case hexadecimal characters.
std::string RandomHex();

}  // namespace net

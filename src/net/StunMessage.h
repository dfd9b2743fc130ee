// Classic STUN (RFC 3489, no magic cookie): the 20-byte Binding Request and the reading of a
// Binding Response's MAPPED-ADDRESS. The response is untrusted: every length is checked
// against the datagram before the bytes it announces are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/HandOff.h"

namespace net {

inline constexpr std::uint16_t kStunPort = 3478;
inline constexpr std::uint16_t kStunBindingRequest = 0x0001;
inline constexpr std::uint16_t kStunBindingResponse = 0x0101;
inline constexpr std::uint16_t kStunMappedAddress = 0x0001;
inline constexpr std::size_t kStunHeaderLength = 20;
inline constexpr std::size_t kStunTransactionIDLength = 16;

// Type, zero length, then the 16-byte transaction ID.
std::string BuildBindingRequest(const std::string& transactionID);

// The first usable MAPPED-ADDRESS (length 8, family IPv4) of a Binding Response carrying
// our transaction ID; nothing for any other datagram.
std::optional<platform::Endpoint> ParseBindingResponse(const std::string& datagram,
                                                       const std::string& transactionID);

}  // namespace net

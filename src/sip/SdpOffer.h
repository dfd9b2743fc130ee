// The SDP offer of every INVITE: G.711 A-law only (payload type 8), 30 ms packets.
#pragma once

#include <cstdint>
#include <string>

namespace sip {

std::string BuildSdpOffer(std::uint32_t sessionId, std::uint32_t sessionVersion,
                          const std::string& address, std::uint16_t port);

}  // namespace sip

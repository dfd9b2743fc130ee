#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since the system started, wrapping at 2^32 (tags, SDP session values, RTP
// timestamps and SSRCs are made from it).
std::uint32_t GetTickCount();

}  // namespace platform

// The remote audio end of an answered call, read from the SDP body of the callee's 200 by
// plain, case-sensitive text search: the port of the first "m=audio " line and the address of
// the first "c=IN IP4 " line, wherever they stand. No SDP parser: the answer is read exactly
// as far as the window needs it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

struct TRemoteMedia {
  std::string Address;  // as written after "c=IN IP4 ", not checked
  std::uint16_t Port = 0;

  bool operator==(const TRemoteMedia&) const = default;
};

// The remote media of `sdp`; none when it has no "m=audio " or no "c=IN IP4 ", and then no
// media start. The port is the decimal number after "m=audio " and any blanks, up to the first
// non-digit; no digits, or a number above 65535 (which no port can be), give 0. The address ends at
// the first carriage return or line feed after it, or at the end of the text.
std::optional<TRemoteMedia> ReadRemoteMedia(std::string_view sdp);

}  // namespace app

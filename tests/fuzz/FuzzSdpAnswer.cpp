// The callee's SDP answer as the window reads it: the audio port and the connection address.
// A datagram that starts like a response is framed first, as the engine does, so that whole
// captured 200s serve as seeds; anything else is taken for the body itself.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "app/RemoteMedia.h"
#include "sip/SipMessage.h"

namespace {

constexpr std::string_view kMediaLine = "m=audio ";
constexpr std::string_view kConnectionLine = "c=IN IP4 ";

// An independent reading of the port: blanks, then the run of digits as one number, which
// must not exceed 65535.
std::uint16_t ReferencePort(std::string_view text) {
  const std::size_t start = std::min(text.find_first_not_of(' '), text.size());
  const std::size_t end = std::min(text.find_first_not_of("0123456789", start), text.size());
  std::string_view digits = text.substr(start, end - start);
  while (digits.size() > 1 && digits.front() == '0')
    digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 5) return 0;
  unsigned value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value > 65535 ? 0 : static_cast<std::uint16_t>(value);
}

void CheckAnswer(std::string_view sdp) {
  const auto remote = app::ReadRemoteMedia(sdp);
  const std::size_t media = sdp.find(kMediaLine);
  const std::size_t connection = sdp.find(kConnectionLine);
  if (!remote) {
    FUZZ_CHECK(media == std::string_view::npos || connection == std::string_view::npos);
    return;
  }
  FUZZ_CHECK(media != std::string_view::npos && connection != std::string_view::npos);
  FUZZ_CHECK(remote->Port == ReferencePort(sdp.substr(media + kMediaLine.size())));
  // The address is the rest of its line, never more.
  FUZZ_CHECK(remote->Address.find_first_of("\r\n") == std::string::npos);
  const std::size_t addressStart = connection + kConnectionLine.size();
  FUZZ_CHECK(sdp.substr(addressStart, remote->Address.size()) == remote->Address);
  const std::size_t after = addressStart + remote->Address.size();
  FUZZ_CHECK(after == sdp.size() || sdp[after] == '\r' || sdp[after] == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.starts_with("SIP/2.0 ")) {
    std::string body(input);
    std::string headerBlock;
    if (sip::FrameDatagram(body, headerBlock) == sip::FrameResult::kMessage) CheckAnswer(body);
  }
  CheckAnswer(input);
  return 0;
}

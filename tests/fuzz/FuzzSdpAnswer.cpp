// The callee's SDP answer as the call control reads it: the audio port and the connection
// address. A datagram that starts like a response is framed first, as the engine does, so that
// whole captured 200s serve as seeds; anything else is taken for the body itself.
#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "app/RemoteMedia.h"
#include "sip/SipMessage.h"

namespace {

// An independent reading of the port: blanks, then the run of digits as one number, at most
// 65535.
unsigned ReferencePort(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  text = text.substr(0, text.find_first_not_of("0123456789"));
  text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
  unsigned value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return text.size() > 5 || value > 65535 ? 0 : value;
}

void CheckAnswer(std::string_view sdp) {
  const auto remote = app::ReadRemoteMedia(sdp);
  const std::size_t media = sdp.find("m=audio "), connection = sdp.find("c=IN IP4 ");
  FUZZ_CHECK(remote.has_value() ==
             (media != std::string_view::npos && connection != std::string_view::npos));
  if (!remote) return;
  FUZZ_CHECK(remote->Port == ReferencePort(sdp.substr(media + 8)));
  // The address is the rest of its line, never more.
  const std::size_t start = connection + 9, end = start + remote->Address.size();
  FUZZ_CHECK(sdp.substr(start, remote->Address.size()) == remote->Address);
  FUZZ_CHECK(remote->Address.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(end == sdp.size() || sdp[end] == '\r' || sdp[end] == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string body(input), headerBlock;
  if (input.starts_with("SIP/2.0 ") &&
      sip::FrameDatagram(body, headerBlock) == sip::FrameResult::kMessage)
    CheckAnswer(body);
  CheckAnswer(input);
  return 0;
}

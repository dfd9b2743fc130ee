// Everything the engine does with a received datagram before acting on it: framing, the
// header look-ups, the number reader and the status line. The challenge has a target of its
// own (FuzzDigestChallenge.cpp).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "sip/SipComposer.h"
#include "sip/SipMessage.h"

namespace {

void CheckHeader(const std::string& headerBlock, const char* name) {
  const std::string value = sip::GetHeader(headerBlock, name);
  FUZZ_CHECK(value.find('\r') == std::string::npos);
  if (!value.empty()) FUZZ_CHECK(headerBlock.find(":" + value) != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  std::string buffer = datagram;
  const std::string previous = "SIP/2.0 200 OK\r\n";
  std::string headerBlock = previous;
  switch (sip::FrameDatagram(buffer, headerBlock)) {
    case sip::FrameResult::kKeepAlive:
    case sip::FrameResult::kNoBlankLine:
      FUZZ_CHECK(buffer == datagram && headerBlock == previous);
      break;
    case sip::FrameResult::kBodyTooShort:
      FUZZ_CHECK(datagram.starts_with(headerBlock) && headerBlock.ends_with("\r\n"));
      break;
    case sip::FrameResult::kMessage: {
      // The body is the announced number of bytes, or the rest, right after the blank line.
      FUZZ_CHECK(datagram.starts_with(headerBlock) && headerBlock.ends_with("\r\n"));
      const std::size_t bodyStart = headerBlock.size() + 2;
      FUZZ_CHECK(datagram.compare(bodyStart, buffer.size(), buffer) == 0);
      break;
    }
  }

  for (const char* name : {"To", "Via", "From", "Call-ID", "CSeq", "Contact", "WWW-Authenticate"})
    CheckHeader(headerBlock, name);
  if (sip::CarriesCallID(headerBlock, "x")) FUZZ_CHECK(headerBlock.find('x') != std::string::npos);
  const std::uint32_t number = sip::ReadNumber(headerBlock, size % 64);
  FUZZ_CHECK(number == 0 || headerBlock.find_first_of("0123456789") != std::string::npos);
  if (sip::IsByeRequest(headerBlock)) FUZZ_CHECK(headerBlock.starts_with("BYE "));
  if (const auto status = sip::ParseStatusCode(headerBlock)) {
    FUZZ_CHECK(*status >= 100 && *status <= 699);
  }
  // The 200 that answers a BYE copies the request's headers.
  sip::SipComposer::ComposeResponse("200 OK", headerBlock, "192.0.2.1");
  return 0;
}

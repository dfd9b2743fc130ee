// Everything the engine does with a received datagram before acting on it: framing, the
// header look-ups, the number reader, the status line and the 200 that copies a BYE's headers.
// The sanitizers are the oracle; the readers' results are the unit tests'.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "sip/SipComposer.h"
#include "sip/SipMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  std::string buffer = datagram, headerBlock;
  if (sip::FrameDatagram(buffer, headerBlock) == sip::FrameResult::kMessage) {
    // Whatever the announced length, the body never reaches past the datagram.
    FUZZ_CHECK(headerBlock.size() + 2 + buffer.size() <= datagram.size());
  }
  for (const char* name : {"To", "Via", "From", "Call-ID", "CSeq", "Contact", "WWW-Authenticate"})
    FUZZ_CHECK(sip::GetHeader(headerBlock, name).find('\r') == std::string::npos);
  sip::HeaderParameter(sip::GetHeader(headerBlock, "To"), "tag");
  sip::ParseCSeq(headerBlock);
  sip::CarriesCallID(headerBlock, "x");
  sip::ReadNumber(headerBlock, size % 64);
  sip::IsByeRequest(headerBlock);
  sip::RequestMethod(headerBlock);
  if (const auto status = sip::ParseStatusCode(headerBlock)) {
    FUZZ_CHECK(*status >= 100 && *status <= 699);
  }
  sip::TSipComposer::ComposeResponse("200 OK", headerBlock, "192.0.2.1");
  return 0;
}

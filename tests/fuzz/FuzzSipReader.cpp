// Everything the engine does with a received datagram before acting on it: framing, the
// header look-ups, the status line, and reading a challenge into credentials.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sip/Digest.h"
#include "sip/SipComposer.h"
#include "sip/SipMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string buffer(reinterpret_cast<const char*>(data), size);
  std::string headerBlock = "SIP/2.0 200 OK\r\n";
  sip::FrameDatagram(buffer, headerBlock);

  for (const char* name : {"To", "Via", "From", "Call-ID", "CSeq", "Content-Type"}) {
    sip::GetHeader(headerBlock, name);
  }
  sip::ReadNumber(headerBlock, size % 64);
  sip::IsByeRequest(headerBlock);
  const auto status = sip::ParseStatusCode(headerBlock);
  sip::SipComposer::ComposeResponse("200 OK", headerBlock, "192.0.2.1");

  for (const int code : {401, 407}) {
    const std::string challenge =
        sip::GetHeader(headerBlock, code == 407 ? "Proxy-Authenticate" : "WWW-Authenticate");
    for (const char* name : {"algorithm", "realm", "nonce", "opaque"}) {
      sip::GetParam(name, challenge);
    }
    sip::BuildAuthorization(status.value_or(code), headerBlock, "0123456789",
                            buffer.size() == sip::kRememberedPasswordLength ? buffer : "secret",
                            "REGISTER", "sip:sip.example.test");
  }
  return 0;
}

#include "support/SipResponse.h"

#include "sip/SipMessage.h"

namespace testsupport {

std::string SipResponse(const std::string& request, int code, const std::string& body) {
  std::string text = "SIP/2.0 " + std::to_string(code) + " X\r\n";
  for (const char* name : {"Via", "From", "To", "Call-ID", "CSeq"})
    text += std::string(name) + ":" + sip::GetHeader(request, name) + "\r\n";
  if (code == 401) text += "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=MD5\r\n";
  return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace testsupport

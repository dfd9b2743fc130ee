#include "support/SipResponse.h"

#include "sip/SipMessage.h"

namespace testsupport {

std::string SipResponse(const std::string& request, int code, const std::string& body) {
  std::string text = "SIP/2.0 " + std::to_string(code) + " Reason\r\n";
  for (const char* name : {"Via", "From", "To", "Call-ID", "CSeq"})
    text +=
        name + (":" + sip::GetHeader(request, name)) + (name[0] == 'T' ? ";tag=srv" : "") + "\r\n";
  if (code == 401 || code == 407) {
    text += code == 407 ? "Proxy-Authenticate" : "WWW-Authenticate";
    text += ": Digest realm=\"127.0.0.1\", nonce=\"n0nce\", algorithm=MD5\r\n";
  }
  return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace testsupport

#include "support/SipResponse.h"

#include <regex>

namespace testsupport {

namespace {

std::string Header(const std::string& message, const std::string& name) {
  std::smatch match;
  std::regex_search(message, match, std::regex("\r\n" + name + ":([^\r]*)"));
  return match.empty() ? "" : match[1].str();
}

std::string Ending(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

std::string SipResponse(const std::string& request, int code, const std::string& body) {
  std::string text = "SIP/2.0 " + std::to_string(code) + " Reason\r\n";
  for (const char* name : {"Via", "From", "To", "Call-ID", "CSeq"})
    text += name + (":" + Header(request, name)) + (name[0] == 'T' ? ";tag=srv" : "") + "\r\n";
  if (code == 401 || code == 407) {
    text += code == 407 ? "Proxy-Authenticate" : "WWW-Authenticate";
    text += ": Digest realm=\"127.0.0.1\", nonce=\"n0nce\", algorithm=MD5\r\n";
  }
  return text + Ending(body);
}

std::string SipRequest(const std::string& method, const std::string& ours, const std::string& body,
                       const std::string& farEndTag) {
  return method + " sip:0123@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bKb\r\n" +
         "Via: SIP/2.0/UDP 192.0.2.9;branch=z9hG4bKfar\r\nFrom: <sip:0612@127.0.0.1>;tag=" +
         farEndTag + "\r\nTo:" + Header(ours, "From") + "\r\nCall-ID:" + Header(ours, "Call-ID") +
         "\r\nCSeq: 77 " + method + "\r\n" + Ending(body);
}

}  // namespace testsupport

#include "sip/SipComposer.h"

#include "net/UdpUtil.h"
#include "platform/Version.h"
#include "sip/SipMessage.h"

namespace sip {

namespace {
constexpr std::string_view kCRLF = "\r\n";
}  // namespace

SipComposer::SipComposer() : CallID(net::RandomHex()) {}

void SipComposer::SetAccount(const std::string& displayName, const std::string& domain,
                             const std::string& userID, std::uint32_t fromTag) {
  Domain = domain;
  Expires = kExpiresRegistered;
  const std::string address = displayName + " <sip:" + userID + "@" + domain + ">";
  ViaPrefix = "Via: SIP/2.0/UDP " + domain + ";rport;branch=z9hG4bK";
  FromLine = "From: " + address + ";tag=" + std::to_string(fromTag) + "\r\n";
  ContactLine = "Contact: " + address + "\r\n";
}

std::string SipComposer::NewRequest(std::string_view method, const std::string& to,
                                    const std::string& body, const std::string& extraHeaders) {
  Branch = net::RandomHex();
  ++CSeq;
  std::string headers = ContactLine;
  headers += "Expires: " + Expires + "\r\n";
  headers += "User-Agent: ";
  headers += platform::kProductName;
  headers += kCRLF;
  headers += extraHeaders;
  return WriteRequest(method, to, headers, body);
}

std::string SipComposer::WriteRequest(std::string_view method, const std::string& to,
                                      const std::string& extraHeaders, const std::string& body) {
  LastMethod = method;
  std::string text;
  text.reserve(512 + body.size());
  text += method;
  text += " " + RequestURI + " SIP/2.0\r\n";
  text += ViaPrefix + Branch + "\r\n";
  text += FromLine;
  text += "To: " + to + "\r\n";
  text += "Call-ID: " + DialogCallID() + "\r\n";
  text += "CSeq: " + std::to_string(CSeq) + " ";
  text += method;
  text += kCRLF;
  text += "Max-Forwards: 70\r\n";
  text += extraHeaders;
  text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  text += kCRLF;
  text += body;
  return text;
}

std::string SipComposer::ComposeResponse(std::string_view status, const std::string& headerBlock,
                                         const std::string& serverAddressText) {
  std::string text = "SIP/2.0 ";
  text += status;
  text += kCRLF;
  text += "Via:" + GetHeader(headerBlock, "Via") + ";received=" + serverAddressText + "\r\n";
  text += "From:" + GetHeader(headerBlock, "From") + "\r\n";
  text += "To:" + GetHeader(headerBlock, "To") + "\r\n";
  text += "Call-ID:" + GetHeader(headerBlock, "Call-ID") + "\r\n";
  text += "CSeq:" + GetHeader(headerBlock, "CSeq") + "\r\n";
  text += "Content-Length: 0\r\n";
  text += kCRLF;
  return text;
}

}  // namespace sip

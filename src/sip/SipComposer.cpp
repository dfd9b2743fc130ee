#include "sip/SipComposer.h"

#include <vector>

#include "net/UdpUtil.h"
#include "platform/Version.h"
#include "sip/SipMessage.h"

namespace sip {

namespace {
constexpr std::string_view kCRLF = "\r\n";

// The first Via of a response says where the request came from: the received parameter goes
// after the first via-parm of the first header, also when that header holds several.
std::string WithReceived(const std::string& via, const std::string& serverAddressText) {
  std::string marked = via;
  const std::size_t comma = marked.find(',');
  marked.insert(comma == std::string::npos ? marked.size() : comma,
                ";received=" + serverAddressText);
  return marked;
}
}  // namespace

TSipComposer::TSipComposer(std::string callID)
    : callID_(callID.empty() ? net::RandomHex() : std::move(callID)) {}

void TSipComposer::SetAccount(const std::string& displayName, const std::string& domain,
                              const std::string& userID, std::uint32_t fromTag) {
  domain_ = domain;
  expires_ = kExpiresRegistered;
  accountAddress_ = displayName + " <sip:" + userID + "@" + domain + ">";
  viaPrefix_ = "Via: SIP/2.0/UDP " + domain + ";rport;branch=z9hG4bK";
  fromTag_ = std::to_string(fromTag);
  fromLine_ = "From: " + accountAddress_ + ";tag=" + fromTag_ + "\r\n";
  contactLine_ = "Contact: " + accountAddress_ + "\r\n";
  remoteTo_.clear();
}

std::string TSipComposer::Register(const std::string& credentials) {
  requestURI_ = "sip:" + domain_;
  requestTo_ = accountAddress_;
  return NewRequest(kMethodRegister, requestTo_, "", credentials);
}

std::string TSipComposer::Unregister() {
  expires_ = kExpiresUnregister;
  return Register();
}

void TSipComposer::CallTo(const std::string& number) {
  requestURI_ = "sip:" + number + "@" + domain_;
  requestTo_ = "<" + requestURI_ + ">";
  remoteTo_.clear();
}

std::string TSipComposer::Invite(const std::string& offer, const std::string& credentials) {
  return NewRequest(kMethodInvite, requestTo_, offer, credentials + std::string(kSdpContentType));
}

void TSipComposer::Answered(const std::string& to) {
  remoteTo_ = to.empty() ? requestTo_ : to;
}

std::string TSipComposer::Ack() {
  return WriteRequest(kMethodAck, remoteTo_, "", "");
}

std::string TSipComposer::Cancel() {
  return WriteRequest(kMethodCancel, requestTo_, "", "");
}

std::string TSipComposer::Bye() {
  return NewRequest(kMethodBye, remoteTo_, "", "");
}

std::string TSipComposer::AckOf(const TSipTransaction& invite, const std::string& to) const {
  return Compose(invite, kMethodAck, to, "", "");
}

std::string TSipComposer::ByeAfter(const TSipTransaction& invite, const std::string& to) {
  return Compose(Open(kMethodBye, invite.RequestURI), kMethodBye, to, ExtensionHeaders(""), "");
}

TSipTransaction TSipComposer::Open(std::string_view method, const std::string& requestURI) {
  return {std::string(method), ++cseq_, net::RandomHex(), requestURI};
}

std::string TSipComposer::ExtensionHeaders(const std::string& extraHeaders) const {
  std::string headers = contactLine_;
  headers += "Expires: " + expires_ + "\r\n";
  headers += "User-Agent: ";
  headers += platform::kProductName;
  headers += kCRLF;
  headers += extraHeaders;
  return headers;
}

std::string TSipComposer::NewRequest(std::string_view method, const std::string& to,
                                     const std::string& body, const std::string& extraHeaders) {
  current_ = Open(method, requestURI_);
  return WriteRequest(method, to, ExtensionHeaders(extraHeaders), body);
}

std::string TSipComposer::WriteRequest(std::string_view method, const std::string& to,
                                       const std::string& extraHeaders, const std::string& body) {
  lastMethod_ = method;
  return Compose(current_, method, to, extraHeaders, body);
}

std::string TSipComposer::Compose(const TSipTransaction& in, std::string_view method,
                                  const std::string& to, const std::string& extraHeaders,
                                  const std::string& body) const {
  std::string text;
  text.reserve(512 + body.size());
  text += method;
  text += " " + in.RequestURI + " SIP/2.0\r\n";
  text += viaPrefix_ + in.Branch + "\r\n";
  text += fromLine_;
  text += "To: " + to + "\r\n";
  text += "Call-ID: " + DialogCallID() + "\r\n";
  text += "CSeq: " + std::to_string(in.CSeq) + " ";
  text += method;
  text += kCRLF;
  text += "Max-Forwards: 70\r\n";
  text += extraHeaders;
  text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  text += kCRLF;
  text += body;
  return text;
}

std::string TSipComposer::ComposeResponse(std::string_view status, const std::string& headerBlock,
                                          const std::string& serverAddressText,
                                          const std::string& extraHeaders,
                                          const std::string& body) {
  std::string text = "SIP/2.0 ";
  text += status;
  text += kCRLF;
  // Every proxy on the way finds its own Via again and passes the answer on (RFC 3261 8.2.6.2).
  std::vector<std::string> vias = GetHeaders(headerBlock, "Via");
  if (vias.empty()) vias.emplace_back();
  vias.front() = WithReceived(vias.front(), serverAddressText);
  for (const std::string& via : vias)
    text += "Via:" + via + "\r\n";
  text += "From:" + GetHeader(headerBlock, "From") + "\r\n";
  text += "To:" + GetHeader(headerBlock, "To") + "\r\n";
  text += "Call-ID:" + GetHeader(headerBlock, "Call-ID") + "\r\n";
  text += "CSeq:" + GetHeader(headerBlock, "CSeq") + "\r\n";
  text += extraHeaders;
  text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  text += kCRLF;
  text += body;
  return text;
}

}  // namespace sip

// Composing the SIP requests and responses the engine sends. It holds the values that stay
// the same across requests (Call-ID, From tag, account lines), the call's addresses and the
// per-transaction ones (branch, CSeq), and gives back each message's text; the engine sends it.
//
// Header names, their order and their capitalisation are fixed: the provider's server has been
// seen to accept exactly this form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sip {

inline constexpr std::string_view kExpiresRegistered = "1800";
inline constexpr std::string_view kExpiresUnregister = "0";
inline constexpr std::string_view kSdpContentType = "Content-Type: application/sdp\r\n";

// One request we sent and what its CANCEL and ACK repeat of it.
struct TSipTransaction {
  std::string Method;
  std::uint32_t CSeq = 0;
  std::string Branch;
  std::string RequestURI;
};

class TSipComposer {
 public:
  // Draws the Call-ID part, which serves every request of the engine's life; tests give theirs.
  explicit TSipComposer(std::string callID = "");

  // The lines that name the account, with a new From tag; Expires back to 1800, no far end.
  void SetAccount(const std::string& displayName, const std::string& domain,
                  const std::string& userID, std::uint32_t fromTag);

  // A REGISTER of the account in a transaction of its own, with `credentials` (a header line)
  // when it answers a challenge; after Unregister its Expires is 0 until the next SetAccount.
  std::string Register(const std::string& credentials = "");
  std::string Unregister();
  // The number called from now on; the far end is not known until its first response.
  void CallTo(const std::string& number);
  // An INVITE to the number called, with our offer, in a transaction of its own.
  std::string Invite(const std::string& offer, const std::string& credentials = "");
  // The far end as a response to our request names it (an empty To: as we addressed it).
  void Answered(const std::string& to);
  // The ACK and the CANCEL of the current transaction; a BYE to the far end in a new one.
  std::string Ack();
  std::string Cancel();
  std::string Bye();
  // ACK and BYE for the 200 to an earlier INVITE, to the far end `to` of that answer; the BYE
  // opens a transaction beside the current one, which stays current.
  std::string AckOf(const TSipTransaction& invite, const std::string& to) const;
  std::string ByeAfter(const TSipTransaction& invite, const std::string& to);

  // The response to the request held in `headerBlock`: its Via headers in order, the first with
  // the server's address as the received parameter, its From, To, Call-ID and CSeq, then
  // `extraHeaders` and the body.
  static std::string ComposeResponse(std::string_view status, const std::string& headerBlock,
                                     const std::string& serverAddressText,
                                     const std::string& extraHeaders = "",
                                     const std::string& body = "");

  // The transaction of the last REGISTER, INVITE or BYE: what a response must answer.
  const TSipTransaction& Current() const { return current_; }
  // The method of the last request written, ACK and CANCEL included.
  const std::string& LastMethod() const { return lastMethod_; }
  const std::string& RemoteTo() const { return remoteTo_; }
  // Our tag: the far end's requests in a call carry it in their To.
  const std::string& FromTag() const { return fromTag_; }
  const std::string& ContactLine() const { return contactLine_; }
  // The Call-ID header's value: the same for the registration and every call.
  std::string DialogCallID() const { return callID_ + "@" + domain_; }

 private:
  TSipTransaction Open(std::string_view method, const std::string& requestURI);
  std::string ExtensionHeaders(const std::string& extraHeaders) const;
  // Opens a transaction to requestURI_, which becomes the current one, then writes the request
  // with the Contact, Expires and User-Agent lines before the extra header lines.
  std::string NewRequest(std::string_view method, const std::string& to, const std::string& body,
                         const std::string& extraHeaders);
  std::string WriteRequest(std::string_view method, const std::string& to,
                           const std::string& extraHeaders, const std::string& body);
  std::string Compose(const TSipTransaction& in, std::string_view method, const std::string& to,
                      const std::string& extraHeaders, const std::string& body) const;

  std::string domain_;
  std::string accountAddress_;  // "Name <sip:user@domain>"
  std::string viaPrefix_;       // "Via: SIP/2.0/UDP <domain>;rport;branch=z9hG4bK"
  std::string fromLine_;        // with tag and CR LF
  std::string fromTag_;
  std::string contactLine_;  // with CR LF
  std::string callID_;
  std::string expires_;
  std::string lastMethod_;
  std::string requestURI_;
  std::string requestTo_;
  std::string remoteTo_;
  // The last CSeq number drawn; one counter serves every method.
  std::uint32_t cseq_ = 0;
  TSipTransaction current_;
};

}  // namespace sip

// Composing the SIP requests and responses the engine sends. It holds the values that stay
// the same across requests (Call-ID, From tag, account lines) and the per-transaction ones
// (branch, CSeq), and gives back each message's text; the engine sends it.
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

class SipComposer {
 public:
  // Draws the Call-ID part, which serves every request of the engine's life.
  SipComposer();

  // The lines that name the account, with a new From tag; Expires back to 1800.
  void SetAccount(const std::string& displayName, const std::string& domain,
                  const std::string& userID, std::uint32_t fromTag);

  // Opens a transaction to RequestURI, which becomes the current one, then writes the request
  // with the Contact, Expires and User-Agent lines before the caller's extra header lines (each
  // ending in CR LF).
  std::string NewRequest(std::string_view method, const std::string& to, const std::string& body,
                         const std::string& extraHeaders);
  // Writes a request in the current transaction (CANCEL, ACK): same branch and CSeq number.
  std::string WriteRequest(std::string_view method, const std::string& to,
                           const std::string& extraHeaders, const std::string& body);

  // A transaction beside the current one, which stays current: a new branch and the next number.
  TSipTransaction Open(std::string_view method, const std::string& requestURI);
  // The lines NewRequest puts before the caller's extra header lines.
  std::string ExtensionHeaders(const std::string& extraHeaders) const;
  // A request of the transaction `in`.
  std::string Compose(const TSipTransaction& in, std::string_view method, const std::string& to,
                      const std::string& extraHeaders, const std::string& body) const;

  // The response to the request held in `headerBlock`: its Via headers in order, the first with
  // the server's address as the received parameter, its From, To, Call-ID and CSeq, then
  // `extraHeaders` and the body.
  static std::string ComposeResponse(std::string_view status, const std::string& headerBlock,
                                     const std::string& serverAddressText,
                                     const std::string& extraHeaders = "",
                                     const std::string& body = "");

  std::string Domain;
  std::string ViaPrefix;    // "Via: SIP/2.0/UDP <domain>;rport;branch=z9hG4bK"
  std::string FromLine;     // with tag and CR LF
  std::string FromTag;      // our tag: the far end's requests in a call carry it in their To
  std::string ContactLine;  // with CR LF
  std::string CallID;
  // The Call-ID header's value: the same for the registration and every call.
  std::string DialogCallID() const { return CallID + "@" + Domain; }
  std::string Expires;
  std::string LastMethod;
  std::string RequestURI;
  std::string RequestTo;
  std::string RemoteTo;
  // The last CSeq number drawn; one counter serves every method.
  std::uint32_t CSeq = 0;
  // The transaction of the last NewRequest.
  TSipTransaction Current;
};

}  // namespace sip

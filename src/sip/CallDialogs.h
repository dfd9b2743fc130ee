// The dialogs of our calls, as far as the far end's messages need them: the INVITEs sent lately
// (a 200 to each may still come, and repeat until acknowledged), the session of the call, the
// far end's tag, and how the far end's requests inside the call are answered.
//
// Every call of a registration shares its Call-ID and our From tag: a message tells its call by
// its CSeq number (an answer) or by the far end's tag (a request). Main thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "sip/SipComposer.h"

namespace sip {

class TCallDialogs {
 public:
  struct SentInvite {
    TSipTransaction Transaction;
    std::string Ack;  // once a 200 to it was acknowledged: what its repeats get again
  };
  // What a request of the far end inside the call gets.
  struct Answer {
    bool Silent = false;  // an ACK: nothing
    std::string_view Status;
    std::string ExtraHeaders;
    std::string Body;
    bool NewOffer = false;  // its body is the far end's new session description
  };

  // A new registration: earlier dialogs carried another From tag and are ours no more.
  void Forget();
  // An INVITE has gone out, offering `session`.
  void Sent(const TSipTransaction& invite, const std::string& session);
  // The INVITE of that CSeq number, while remembered.
  SentInvite* Find(std::uint32_t cseq);
  // A 200 to that INVITE was acknowledged with `ack`; `farEndTag` from its To when it is the call
  // in progress.
  void Acknowledged(std::uint32_t cseq, const std::string& ack,
                    std::optional<std::string> farEndTag = std::nullopt);

  // Whether a request belongs to the call in progress: our tag in its To, the far end's in its
  // From.
  bool IsOfCall(const std::string& headerBlock, std::string_view ourTag) const;
  // The answer to a request of the call. A re-INVITE, or an UPDATE with an offer, gets our
  // session as it stands (RFC 3264 8: an unchanged session keeps its version); OPTIONS, INFO,
  // NOTIFY and a bare UPDATE get a plain 200; any other method 501.
  Answer AnswerTo(std::string_view method, const std::string& body,
                  const std::string& contactLine) const;

 private:
  std::deque<SentInvite> invites_;
  std::string session_;
  std::string farEndTag_;
};

}  // namespace sip

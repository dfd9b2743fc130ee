#include "sip/CallDialogs.h"

#include <algorithm>

#include "sip/SipMessage.h"

namespace sip {

namespace {
// A 200 to an INVITE given up arrives within the far end's 32 s of repeats; no user places
// more calls than this in that time.
constexpr std::size_t kRememberedInvites = 8;
}  // namespace

void TCallDialogs::Forget() {
  invites_.clear();
  farEndTag_.clear();
}

void TCallDialogs::Sent(const TSipTransaction& invite, const std::string& session) {
  if (invites_.size() == kRememberedInvites) invites_.pop_front();
  invites_.push_back({invite, {}});
  session_ = session;
}

TCallDialogs::SentInvite* TCallDialogs::Find(std::uint32_t cseq) {
  const auto found = std::ranges::find_if(
      invites_, [&](const SentInvite& sent) { return sent.Transaction.CSeq == cseq; });
  return found == invites_.end() ? nullptr : &*found;
}

void TCallDialogs::Acknowledged(std::uint32_t cseq, const std::string& ack,
                                std::optional<std::string> farEndTag) {
  if (SentInvite* invite = Find(cseq)) invite->Ack = ack;
  if (farEndTag) farEndTag_ = std::move(*farEndTag);
}

bool TCallDialogs::IsOfCall(const std::string& headerBlock, std::string_view ourTag) const {
  return HeaderParameter(GetHeader(headerBlock, "To"), "tag") == ourTag &&
         HeaderParameter(GetHeader(headerBlock, "From"), "tag") == farEndTag_;
}

TCallDialogs::Answer TCallDialogs::AnswerTo(std::string_view method, const std::string& body,
                                            const std::string& contactLine) const {
  Answer answer;
  answer.Silent = method == kMethodAck;
  answer.Status = "200 OK";
  const bool offer = !body.empty();
  if (method == kMethodInvite || (method == kMethodUpdate && offer)) {
    answer.ExtraHeaders = contactLine + std::string(kSdpContentType);
    answer.Body = session_;
    answer.NewOffer = offer;
  } else if (method == kMethodUpdate) {
    // A session refresh without a body is a target refresh all the same: it names us again.
    answer.ExtraHeaders = contactLine;
  } else if (method != "OPTIONS" && method != "INFO" && method != "NOTIFY") {
    answer.Status = "501 Not Implemented";
  }
  return answer;
}

}  // namespace sip

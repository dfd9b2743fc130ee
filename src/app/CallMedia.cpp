#include "app/CallMedia.h"

#include <span>
#include <utility>

#include "media/LevelTrace.h"
#include "media/PCMA.h"
#include "media/RTCPClient.h"
#include "platform/Address.h"
#include "platform/SilentAbort.h"

namespace app {

TCallMedia::TCallMedia(platform::HandOff& handOff, media::TRTCPClient& rtcp, media::TPCMA& audio,
                       TCallView& view)
    : window_{&handOff, this}, rtcp_(rtcp), audio_(audio), view_(view) {}

TCallMedia::~TCallMedia() {
  byeWait_.request_stop();
}

void TCallMedia::Answered(const std::string& sdp) {
  remote_.reset();
  Updated(sdp);
}

void TCallMedia::Updated(const std::string& sdp) {
  const std::optional<TRemoteMedia> media = ReadRemoteMedia(sdp);
  if (!media || media == remote_ || media == looking_) return;
  // A far end named rather than numbered is looked up off the main thread: its media start
  // once the address is in, after the ACK rather than before it.
  if (platform::NeedsNameLookup(media->Address)) {
    looking_ = media;
    return lookup_.Start(window_, platform::MessageNumber::MediaLookup, media->Address);
  }
  // A name still being looked up is older news than this offer.
  lookup_.Cancel();
  looking_.reset();
  Use(*media, media->Address);
}

void TCallMedia::Use(const TRemoteMedia& said, const std::string& address) {
  const bool moving = remote_.has_value();
  remote_ = said;
  // A media socket that cannot be had leaves the call without sound, silently; it must not
  // abandon the engine's handling of the answer, which still owes the ACK.
  platform::RunGuarded([&] {
    if (moving) return rtcp_.Redirect(address, said.Port);
    DropEnds();
    rtcp_.SetRemote(address, said.Port);
    audio_.Start(&rtcp_);
    rtcp_.Start();
  });
}

void TCallMedia::End() {
  lookup_.Cancel();
  looking_.reset();
  remote_.reset();
  if (++ends_ == 1) BeginEnd();
}

void TCallMedia::Leave() {
  if (!remote_) return;
  audio_.EndSending();
  platform::RunGuarded([this] { rtcp_.SendBye(); });
}

void TCallMedia::BeginEnd() {
  // Nothing of the call goes out after its BYE.
  audio_.EndSending();
  platform::RunGuarded([this] { rtcp_.SendBye(); });
  window_.PostAfter({platform::MessageNumber::ByeWait, {}}, media::kByeWait, byeWait_.get_token());
}

void TCallMedia::ByeWaitOver() {
  if (ends_ == 0) return;
  bool again = false;
  platform::RunGuarded([&] { again = rtcp_.ByeAgain(); });
  if (again) {
    window_.PostAfter({platform::MessageNumber::ByeWait, {}}, media::kByeWait,
                      byeWait_.get_token());
    return;
  }
  audio_.Stop();
  if (--ends_ > 0) BeginEnd();
}

void TCallMedia::DropEnds() {
  if (ends_ == 0) return;
  byeWait_.request_stop();  // the pending wait's message is never delivered
  byeWait_ = std::stop_source();
  ends_ = 0;
  // Its thread still reads the RTP socket that the new call's SetRemote opens afresh.
  audio_.Stop();
}

void TCallMedia::Heard(const platform::CapturedSamples& block, bool inCall) {
  if (!inCall) return;
  view_.ShowLevelTrace(media::TraceLevels(block.Samples));
}

void TCallMedia::HandleWindowMessage(const platform::WindowMessage& message) {
  std::visit(platform::Overloaded{[&](const platform::ResolvedName& resolved) {
                                    if (!looking_) return;
                                    const TRemoteMedia said =
                                        *std::exchange(looking_, std::nullopt);
                                    Use(said, platform::AddressToText(resolved.Address));
                                  },
                                  [&](std::monostate) { ByeWaitOver(); }, [](const auto&) {}},
             message.Data);
}

}  // namespace app

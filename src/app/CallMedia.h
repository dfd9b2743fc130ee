// A call's media as the call control runs them: started once the far end's address is known
// (a name is looked up off the main thread first), moved where the far end's later offer points,
// and ended with the RTCP BYE, repeated after each 10 ms wait while RTP still comes, before the
// audio engine stops. Each capture block the audio engine heard draws the level trace.
//
// In: the SDP of the far end's answer and of its later offers, the user's and the far end's
// hang-ups; its own messages (the name's address, the end of a wait), for which it is the
// target. Out: the RTCP endpoint's and the audio engine's operations. Main thread only; the
// waits are the event loop's, never the main thread's.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "app/CallView.h"
#include "app/RemoteMedia.h"
#include "platform/HandOff.h"
#include "platform/NameLookup.h"

namespace media {
class TPCMA;
class TRTCPClient;
}  // namespace media

namespace app {

class TCallMedia final : public platform::MessageTarget {
 public:
  TCallMedia(platform::HandOff& handOff, media::TRTCPClient& rtcp, media::TPCMA& audio,
             TCallView& view);
  ~TCallMedia();
  TCallMedia(const TCallMedia&) = delete;
  TCallMedia& operator=(const TCallMedia&) = delete;

  // The far end's answer: its media start, unless the SDP names none (the call goes on unheard).
  void Answered(const std::string& sdp);
  // The far end's later offer inside the call: media that moved follow it.
  void Updated(const std::string& sdp);
  // The end of the call's media, also when none started. An end asked for while one runs
  // follows it, as it did when each one blocked.
  void End();
  // The program goes while a call is up: the call's last RTCP BYE, without its repeats.
  void Leave();

  // A capture block the audio engine has dealt with: its level trace drawn while `inCall`.
  void Heard(const platform::CapturedSamples& block, bool inCall);

  void HandleWindowMessage(const platform::WindowMessage& message) override;

 private:
  // Starts or moves the media to what the SDP said, `address` its dotted form.
  void Use(const TRemoteMedia& said, const std::string& address);
  void BeginEnd();
  void ByeWaitOver();
  // A call's media starting while the last one's still end: the last call stops for good first.
  void DropEnds();

  const platform::Window window_;
  media::TRTCPClient& rtcp_;
  media::TPCMA& audio_;
  TCallView& view_;
  platform::NameLookup lookup_;
  // As the SDP said them: the media whose address is being looked up, and those of the call in
  // progress.
  std::optional<TRemoteMedia> looking_;
  std::optional<TRemoteMedia> remote_;
  // The ends asked for and not over, and what cancels the pending wait's message.
  int ends_ = 0;
  std::stop_source byeWait_;
};

}  // namespace app

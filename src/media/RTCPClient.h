// The media side of one call as the window sees it: sets the remote media address of both
// endpoints, receives RTP for the playback thread, sends the empty first RTP packet and, at
// the end, an RTCP BYE (RFC 3550 section 6.6). No reports or source descriptions are sent, and
// the RTCP socket is never read. Threads: see RTPClient.h.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "media/RTPClient.h"
#include "media/StreamLatch.h"
#include "net/CustomUDPClient.h"
#include "platform/Socket.h"

namespace media {

inline constexpr std::uint8_t kRtcpBye = 203;
// The BYE goes out once more per 10 ms wait in which RTP still arrived, six times at most.
inline constexpr int kMaxByeSends = 6;
inline constexpr std::chrono::milliseconds kByeWait{10};

// The BYE this system sends, alone: version 2, one source, length 2 words after the first,
// the SSRC, then the reason "BYE" with its length byte.
std::string BuildBye(std::uint32_t ssrc);

// What Receive keeps of one datagram read from the RTP socket: the bytes after the fixed
// header when the datagram is an RTP packet of version 2 and of `payloadType` with at least one
// payload byte; empty for anything else (RTCP, STUN, stray traffic, a bare header).
std::string_view AcceptedPayload(std::string_view datagram, std::uint8_t payloadType);

class TCustomRTCPClient : public net::TCustomUDPClient {
 public:
  // Linked to the RTP endpoint, which it does not own.
  explicit TCustomRTCPClient(TRTPClient& rtpClient);

  // Opens and binds the RTCP socket to the RTP endpoint's LocalPort + 1, then sets up the RTP
  // endpoint for the host and port; RTCP goes to the remote port + 1. A failure stops the
  // operation where it happens: an RTCP socket that cannot be had leaves the RTP endpoint as
  // it was.
  void SetRemote(const std::string& host, std::uint16_t port);
  // Both endpoints aim at another host (dotted text) and port within the call; no socket is
  // opened again.
  void Redirect(const std::string& host, std::uint16_t port);
  // Waits for one datagram on the RTP socket (playback thread). Returns the payload of an RTP
  // packet of version 2, of the wanted payload type, with at least one payload byte and of the
  // stream `latch` plays, and counts it; any other datagram gives the empty string, and no
  // datagram at all (an error, a closed socket, a wake-up) gives nothing.
  std::optional<std::string> Receive(std::uint8_t payloadType, TStreamLatch& latch);
  // Resets the counter and sends the call's first RTP packet: payload type 8, no payload.
  void Start();
  // The end of the media: the BYE, then again after each 10 ms (kByeWait) during which RTP
  // still arrived, six times at most. The caller waits: SendBye, then ByeAgain after each wait
  // until it says no. Send errors are ignored.
  void SendBye();
  // After a wait: sends the BYE once more when RTP arrived since the last one and fewer than
  // six went; whether it did (and another wait follows).
  bool ByeAgain();

  TRTPClient& RTPClient() const { return rtpClient_; }

 private:
  // RTCP goes to the RTP endpoint's remote address, at `port` + 1.
  void FollowRtp(std::uint16_t port);

  TRTPClient& rtpClient_;
  platform::SocketAddress remoteAddress_{};
  // Counted by the playback thread, read by ByeAgain on the main thread.
  std::atomic<std::uint32_t> packetsReceived_{0};
  std::uint32_t packetsAtBye_ = 0;
  int byesSent_ = 0;
};

class TRTCPClient : public TCustomRTCPClient {
 public:
  using TCustomRTCPClient::TCustomRTCPClient;
};

}  // namespace media

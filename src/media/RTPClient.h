// The media layer of a call.
//
// Out: captured 30 ms frames and DTMF bursts, A-law coded (G711.h, DTMF.h), leave as RTP
// payload type 8 from local port 5004 through TRTPClient::Send, on the window's thread; at the
// end of a call TRTCPClient::Stop sends an RTCP BYE from port 5005 to the remote port + 1.
// In: the playback thread loops in TRTCPClient::Receive, which reads the RTP socket, keeps
// packets of the wanted payload type, counts them for the BYE repetition and returns their
// payload for decoding. Sending and receiving share the one RTP socket across the two
// threads; the packet counter is the only value both threads touch, and it is atomic.
//
// The endpoints follow the UDP endpoint's failure convention: Fail stores ErrorCode and
// abandons the operation with the silent abort.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/RTPHeader.h"
#include "net/CustomUDPClient.h"
#include "platform/Socket.h"

namespace media {

// The fixed local RTP port; the RTCP endpoint takes the next one.
inline constexpr std::uint16_t kRtpPort = 5004;

class TCustomRTPClient : public net::TCustomUDPClient {
 public:
  // Chooses the SSRC and finds the host's own address; fails with kErrorNoAddress when it has
  // none. The program
  // uses the fixed port; tests give others so that they can run side by side.
  explicit TCustomRTPClient(std::uint16_t localPort = kRtpPort);

  // Opens the socket afresh, binds it to LocalPort on every local address, aims at the host
  // (dotted text, else the first address of the name; all ones if it does not resolve) and
  // port, and restarts the sequence at 0 for the new call.
  void SetRemote(const std::string& host, std::uint16_t port);
  // Aims at another host (dotted text) and port within the call: the socket, the sequence and
  // a thread reading it stay as they are. The sending thread's alone.
  void Redirect(const std::string& host, std::uint16_t port);
  // One datagram: the header (version 2, the payload type, the next sequence number, the
  // millisecond tick count as timestamp, SSRC) followed by the payload. Send errors are
  // ignored; the sequence advances regardless.
  void Send(std::uint8_t payloadType, std::string_view payload);

  // The host's own address, dotted decimal, and the port RTP leaves from.
  const std::string& LocalAddress() const { return localAddress_; }
  std::uint16_t LocalPort() const { return localPort_; }
  const platform::SocketAddress& RemoteAddress() const { return remoteAddress_; }
  // Chosen once per object, so every call of a run keeps it.
  std::uint32_t SSRC() const { return ssrc_; }

 private:
  std::string localAddress_;
  std::uint16_t localPort_ = kRtpPort;
  platform::SocketAddress remoteAddress_{};
  std::uint32_t ssrc_ = 0;
  // Packets sent in this call; the low 16 bits are the next sequence number.
  std::uint32_t sequence_ = 0;
};

class TRTPClient : public TCustomRTPClient {
 public:
  using TCustomRTPClient::TCustomRTPClient;
};

}  // namespace media

#include "media/RTCPClient.h"

#include "media/RTPHeader.h"

namespace media {

namespace {

constexpr std::uint8_t kVersion2OneSource = 0x81;
constexpr std::uint16_t kByeLengthWords = 2;  // 32-bit words after the first, RFC 3550 6.4.1
constexpr char kByeReason[] = "BYE";

}  // namespace

std::string BuildBye(std::uint32_t ssrc) {
  std::string bye;
  bye.reserve(12);
  bye.push_back(static_cast<char>(kVersion2OneSource));
  bye.push_back(static_cast<char>(kRtcpBye));
  bye.push_back(static_cast<char>(kByeLengthWords >> 8));
  bye.push_back(static_cast<char>(kByeLengthWords & 0xFF));
  for (int shift = 24; shift >= 0; shift -= 8) {
    bye.push_back(static_cast<char>((ssrc >> shift) & 0xFF));
  }
  bye.push_back(static_cast<char>(sizeof kByeReason - 1));
  bye.append(kByeReason, sizeof kByeReason - 1);
  return bye;
}

std::string_view AcceptedPayload(std::string_view datagram, std::uint8_t payloadType) {
  // A header alone carries no audio: at least one payload byte is needed.
  if (datagram.size() <= kRtpHeaderSize) return {};
  const TRTPHeader header = DecodeHeader(datagram);
  if (header.Version != kRtpVersion || header.PayloadType != payloadType) return {};
  // The payload starts at 12 whatever the CSRC count, extension or padding say.
  return datagram.substr(kRtpHeaderSize);
}

TCustomRTCPClient::TCustomRTCPClient(TRTPClient& rtpClient) : rtpClient_(rtpClient) {}

void TCustomRTCPClient::SetRemote(const std::string& host, std::uint16_t port) {
  Open();
  Bind(static_cast<std::uint16_t>(rtpClient_.LocalPort() + 1));
  rtpClient_.SetRemote(host, port);
  FollowRtp(port);
}

void TCustomRTCPClient::Redirect(const std::string& host, std::uint16_t port) {
  rtpClient_.Redirect(host, port);
  FollowRtp(port);
}

void TCustomRTCPClient::FollowRtp(std::uint16_t port) {
  remoteAddress_ = rtpClient_.RemoteAddress();
  remoteAddress_.Port = platform::HostToNetwork16(static_cast<std::uint16_t>(port + 1));
}

std::optional<std::string> TCustomRTCPClient::Receive(std::uint8_t payloadType,
                                                      TStreamLatch& latch) {
  std::string datagram;
  rtpClient_.ReceiveFrom(datagram);
  if (datagram.empty()) return std::nullopt;
  const std::string_view payload = AcceptedPayload(datagram, payloadType);
  if (payload.empty()) return std::string();
  const TRTPHeader header = DecodeHeader(datagram);
  const platform::SocketAddress& sender = rtpClient_.SenderAddress();
  const std::uint64_t source = (std::uint64_t{sender.Address} << 16) | sender.Port;
  if (!latch.Accept(source, header.SSRC, header.SequenceNumber, TStreamLatch::Clock::now())) {
    return std::string();
  }
  packetsReceived_.fetch_add(1);
  return std::string(payload);
}

void TCustomRTCPClient::Start() {
  packetsReceived_ = 0;
  rtpClient_.Send(kPayloadTypePCMA, {});
}

void TCustomRTCPClient::SendBye() {
  byesSent_ = 0;
  ByeAgain();
}

bool TCustomRTCPClient::ByeAgain() {
  const std::uint32_t received = packetsReceived_.load();
  if (byesSent_ >= kMaxByeSends || (byesSent_ > 0 && received == packetsAtBye_)) return false;
  packetsAtBye_ = received;
  ++byesSent_;
  const std::string bye = BuildBye(rtpClient_.SSRC());
  platform::SendTo(Socket(), bye.data(), bye.size(), remoteAddress_);
  return true;
}

}  // namespace media

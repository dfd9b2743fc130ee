#include "media/RTPClient.h"

#include <cstdint>

#include "platform/Address.h"
#include "platform/TickCount.h"

namespace media {

TCustomRTPClient::TCustomRTPClient(std::uint16_t localPort) {
  // Two endpoints made in the same millisecond still differ by their object's identity.
  const auto particular = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this) % 100);
  ssrc_ = platform::GetTickCount() * 100u + particular;
  const std::uint32_t address = platform::GetLocalAddress();
  if (address == platform::kNoAddress) Fail(net::kErrorNoAddress);
  localAddress_ = platform::AddressToText(address);
  localPort_ = localPort;
}

void TCustomRTPClient::SetRemote(const std::string& host, std::uint16_t port) {
  Open();
  Bind(localPort_);
  Redirect(host, port);
  sequence_ = 0;
}

void TCustomRTPClient::Redirect(const std::string& host, std::uint16_t port) {
  remoteAddress_ = platform::MakeSocketAddress(port, platform::ResolveAddress(host));
}

void TCustomRTPClient::Send(std::uint8_t payloadType, std::string_view payload) {
  TRTPHeader header;
  header.Version = kRtpVersion;
  header.PayloadType = payloadType;
  header.SequenceNumber = static_cast<std::uint16_t>(sequence_ & 0xFFFF);
  header.Timestamp = platform::GetTickCount();
  header.SSRC = ssrc_;
  std::string packet = EncodeHeader(header);
  packet.append(payload);
  platform::SendTo(Socket(), packet.data(), packet.size(), remoteAddress_);
  ++sequence_;
}

}  // namespace media

// The RTP endpoint on loopback: the packets it sends, the sequence number across a wrap and
// across calls, the SSRC, and the failures of SetRemote.
#include "media/RtpClient.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "MediaPeers.h"
#include "platform/Address.h"
#include "platform/SilentAbort.h"
#include "platform/SocketError.h"
#include "platform/TickCount.h"

namespace media {
namespace {

using namespace std::chrono_literals;
using testing::FreePortPair;
using testing::PortPeer;

TEST(RtpClientTest, CreateChoosesTheSsrcFromTheTickCountAndFindsTheHostAddress) {
  const std::uint32_t before = platform::GetTickCount();
  TRTPClient rtp;
  const std::uint32_t after = platform::GetTickCount();
  EXPECT_EQ(rtp.LocalPort, kRtpPort);
  EXPECT_EQ(rtp.LocalPort, 5004);
  EXPECT_EQ(rtp.Socket, platform::kInvalidSocket);  // no socket before the first call
  EXPECT_EQ(rtp.ErrorCode, 0);
  EXPECT_EQ(rtp.Sequence, 0u);
  EXPECT_GE(rtp.SSRC / 100, before);
  EXPECT_LE(rtp.SSRC / 100, after);
  EXPECT_NE(platform::ResolveAddress(rtp.LocalAddress), platform::kNoAddress) << rtp.LocalAddress;
  EXPECT_EQ(platform::AddressToText(platform::ResolveAddress(rtp.LocalAddress)), rtp.LocalAddress);
}

class RtpSendTest : public ::testing::Test {
 protected:
  RtpSendTest() : rtp_(FreePortPair()), peer_(FreePortPair()) {}

  void Connect() { rtp_.SetRemote("127.0.0.1", peer_.Port()); }

  TRTPHeader Next(std::string* payload = nullptr) {
    std::uint16_t sender = 0;
    const auto datagram = peer_.Receive(2000ms, &sender);
    EXPECT_TRUE(datagram.has_value());
    if (!datagram) return {};
    EXPECT_EQ(sender, rtp_.LocalPort);
    EXPECT_GE(datagram->size(), kRtpHeaderSize);
    if (payload != nullptr) *payload = datagram->substr(std::min(datagram->size(), kRtpHeaderSize));
    return DecodeHeader(*datagram);
  }

  TRTPClient rtp_;
  PortPeer peer_;
};

TEST_F(RtpSendTest, TheFirstPacketOfACallIsAnEmptySequenceZero) {
  Connect();
  EXPECT_EQ(rtp_.RemoteAddress.Family, platform::kFamilyIPv4);
  EXPECT_EQ(rtp_.RemoteAddress.Address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(rtp_.RemoteAddress.Port), peer_.Port());
  const std::uint32_t before = platform::GetTickCount();
  rtp_.Send(kPayloadTypePCMA, "");
  const std::uint32_t after = platform::GetTickCount();
  const auto datagram = peer_.Receive(2000ms);
  ASSERT_TRUE(datagram.has_value());
  ASSERT_EQ(datagram->size(), 12u);
  EXPECT_EQ(datagram->substr(0, 4), std::string("\x80\x08\x00\x00", 4));
  const TRTPHeader header = DecodeHeader(*datagram);
  EXPECT_GE(header.Timestamp, before);
  EXPECT_LE(header.Timestamp, after);
  EXPECT_EQ(header.SSRC, rtp_.SSRC);
  EXPECT_EQ(rtp_.Sequence, 1u);
}

TEST_F(RtpSendTest, EachPacketTakesTheNextNumberAndCarriesItsPayload) {
  Connect();
  const std::string frame(240, '\xD5');
  rtp_.Send(kPayloadTypePCMA, "");
  rtp_.Send(kPayloadTypePCMA, frame);
  rtp_.Send(0, "x");  // whatever type the caller gives
  std::string payload;
  EXPECT_EQ(Next(&payload).SequenceNumber, 0);
  EXPECT_EQ(payload, "");
  const TRTPHeader second = Next(&payload);
  EXPECT_EQ(second.SequenceNumber, 1);
  EXPECT_EQ(second.Version, 2);
  EXPECT_EQ(second.PayloadType, 8);
  EXPECT_FALSE(second.Marker);
  EXPECT_FALSE(second.Padding);
  EXPECT_FALSE(second.Extension);
  EXPECT_EQ(second.CSRCCount, 0);
  EXPECT_EQ(payload, frame);
  const TRTPHeader third = Next(&payload);
  EXPECT_EQ(third.SequenceNumber, 2);
  EXPECT_EQ(third.PayloadType, 0);
  EXPECT_EQ(payload, "x");
}

// The timestamp is the sender's millisecond clock, not the 8000 Hz sample clock.
TEST_F(RtpSendTest, TheTimestampCountsMilliseconds) {
  Connect();
  rtp_.Send(kPayloadTypePCMA, std::string(240, '\xD5'));
  std::this_thread::sleep_for(30ms);
  rtp_.Send(kPayloadTypePCMA, std::string(240, '\xD5'));
  const TRTPHeader first = Next();
  const TRTPHeader second = Next();
  EXPECT_GE(second.Timestamp - first.Timestamp, 30u);
  EXPECT_LT(second.Timestamp - first.Timestamp, 240u);
}

TEST_F(RtpSendTest, TheSequenceNumberWrapsAfter65536Packets) {
  Connect();
  // The first 65534 packets go to a peer that never reads (the kernel drops what does not fit
  // in its buffer); the last ones to the peer that watches.
  PortPeer sink(FreePortPair());
  const platform::SocketAddress watched = rtp_.RemoteAddress;
  rtp_.RemoteAddress.Port = htons(sink.Port());
  for (int i = 0; i < 65534; ++i)
    rtp_.Send(kPayloadTypePCMA, "");
  rtp_.RemoteAddress = watched;
  for (int i = 0; i < 4; ++i)
    rtp_.Send(kPayloadTypePCMA, "");
  EXPECT_EQ(Next().SequenceNumber, 65534);
  EXPECT_EQ(Next().SequenceNumber, 65535);
  EXPECT_EQ(Next().SequenceNumber, 0);  // the 65537th packet
  EXPECT_EQ(Next().SequenceNumber, 1);
  EXPECT_EQ(rtp_.Sequence, 65538u);
}

TEST_F(RtpSendTest, ASecondCallKeepsTheSsrcAndStartsAgainAtZero) {
  Connect();
  const std::uint32_t ssrc = rtp_.SSRC;
  for (int i = 0; i < 3; ++i)
    rtp_.Send(kPayloadTypePCMA, "");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Next().SSRC, ssrc);

  PortPeer secondPeer(FreePortPair());
  rtp_.SetRemote("127.0.0.1", secondPeer.Port());  // replaces the socket, same local port
  EXPECT_EQ(rtp_.Sequence, 0u);
  rtp_.Send(kPayloadTypePCMA, "");
  rtp_.Send(kPayloadTypePCMA, "");
  for (std::uint16_t expected = 0; expected < 2; ++expected) {
    std::uint16_t sender = 0;
    const auto datagram = secondPeer.Receive(2000ms, &sender);
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(sender, rtp_.LocalPort);
    const TRTPHeader header = DecodeHeader(*datagram);
    EXPECT_EQ(header.SequenceNumber, expected);
    EXPECT_EQ(header.SSRC, ssrc);
  }
  EXPECT_FALSE(peer_.Receive(50ms).has_value());
}

TEST_F(RtpSendTest, AHostThatDoesNotResolveLeavesTheAllOnesAddress) {
  rtp_.SetRemote("", 4000);
  EXPECT_EQ(rtp_.RemoteAddress.Address, platform::kNoAddress);
  EXPECT_EQ(ntohs(rtp_.RemoteAddress.Port), 4000);
  rtp_.Send(kPayloadTypePCMA, "");  // goes nowhere; the counter still advances
  EXPECT_EQ(rtp_.Sequence, 1u);
  EXPECT_EQ(rtp_.ErrorCode, 0);
}

TEST_F(RtpSendTest, SendErrorsAreIgnoredAndTheCounterAdvances) {
  rtp_.Send(kPayloadTypePCMA, "");  // no socket before the first call
  EXPECT_EQ(rtp_.Sequence, 1u);
  EXPECT_EQ(rtp_.ErrorCode, 0);
}

TEST(RtpClientFailureTest, ATakenLocalPortFailsWithAddressInUse) {
  const std::uint16_t port = FreePortPair();
  net::TCustomUDPClient holder;
  holder.Open();
  holder.Bind(port);
  TRTPClient rtp(port);
  bool reachedAfterSetRemote = false;
  EXPECT_THROW(
      {
        rtp.SetRemote("127.0.0.1", 4000);
        reachedAfterSetRemote = true;
      },
      platform::SilentAbort);
  EXPECT_FALSE(reachedAfterSetRemote);
  EXPECT_EQ(rtp.ErrorCode, platform::kWsaAddressInUse);
}

}  // namespace
}  // namespace media

// The RTCP endpoint on loopback: port pairing, the receive filter and its counter, the empty
// first packet, and the BYE with its repetition while the remote party still sends.
#include "media/RtcpClient.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "MediaPeers.h"
#include "platform/SilentAbort.h"
#include "platform/SocketError.h"

namespace media {
namespace {

using namespace std::chrono_literals;
using testing::FreePortPair;
using testing::PortPeer;
using testing::ReceiveWithin;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values)
    bytes.push_back(static_cast<char>(value));
  return bytes;
}

std::string Packet(int first, int second, const std::string& payload) {
  return Bytes({first, second, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3}) + payload;
}

TEST(RtcpByeTest, TheByeIsTwelveBytesWithTheSsrcAndTheReason) {
  EXPECT_EQ(BuildBye(0x01020304),
            Bytes({0x81, 0xCB, 0x00, 0x02, 0x01, 0x02, 0x03, 0x04, 0x03, 'B', 'Y', 'E'}));
}

// The filter on its own, as the receive loop and the fuzz target use it.
TEST(RtpReceiveFilterTest, KeepsThePayloadOfVersionTwoPacketsOfTheWantedType) {
  EXPECT_EQ(AcceptedPayload(Packet(0x80, 8, "abc"), 8), "abc");
  // Marker bit, CSRC count and extension do not move the payload.
  EXPECT_EQ(AcceptedPayload(Packet(0x9F, 0x88, "xy"), 8), "xy");
  EXPECT_EQ(AcceptedPayload(Packet(0x80, 0, "abc"), 8), "");
  EXPECT_EQ(AcceptedPayload(Packet(0x40, 8, "abc"), 8), "");
  EXPECT_EQ(AcceptedPayload(Packet(0x80, 8, ""), 8), "");
  EXPECT_EQ(AcceptedPayload(BuildBye(7), 8), "");
  EXPECT_EQ(AcceptedPayload("", 8), "");
}

// A call between the endpoints (local ports L, L + 1) and a remote party (P, P + 1).
class RtcpCallTest : public ::testing::Test {
 protected:
  RtcpCallTest()
      : rtp_(FreePortPair()),
        rtcp_(rtp_),
        remotePort_(FreePortPair()),
        remoteRtp_(remotePort_),
        remoteRtcp_(static_cast<std::uint16_t>(remotePort_ + 1)) {}

  void Connect() { rtcp_.SetRemote("127.0.0.1", remotePort_); }

  // Every BYE that reaches the remote RTCP port until 200 ms pass without one.
  int CountByes() {
    int byes = 0;
    std::uint16_t sender = 0;
    while (const auto datagram = remoteRtcp_.Receive(200ms, &sender)) {
      EXPECT_EQ(*datagram, BuildBye(rtp_.SSRC));
      EXPECT_EQ(sender, rtp_.LocalPort + 1);
      ++byes;
      if (byes > 10) break;
    }
    return byes;
  }

  TRTPClient rtp_;
  TRTCPClient rtcp_;
  std::uint16_t remotePort_;
  PortPeer remoteRtp_;
  PortPeer remoteRtcp_;
};

TEST_F(RtcpCallTest, SetRemotePairsThePortsOfBothEndpoints) {
  EXPECT_EQ(rtcp_.RTPClient, &rtp_);
  Connect();
  EXPECT_NE(rtp_.Socket, platform::kInvalidSocket);
  EXPECT_NE(rtcp_.Socket, platform::kInvalidSocket);
  EXPECT_EQ(ntohs(rtp_.RemoteAddress.Port), remotePort_);
  EXPECT_EQ(rtcp_.RemoteAddress.Family, platform::kFamilyIPv4);
  EXPECT_EQ(rtcp_.RemoteAddress.Address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(rtcp_.RemoteAddress.Port), remotePort_ + 1);
  // The BYE leaves from L + 1 for P + 1 (checked in CountByes).
  rtcp_.Stop();
  EXPECT_EQ(CountByes(), 1);
  EXPECT_FALSE(remoteRtp_.Receive(20ms).has_value());
}

TEST_F(RtcpCallTest, TheRemoteRtcpPortIsTheRtpPortPlusOneIn16Bits) {
  rtcp_.SetRemote("127.0.0.1", 65535);
  EXPECT_EQ(ntohs(rtcp_.RemoteAddress.Port), 0);
  EXPECT_EQ(ntohs(rtp_.RemoteAddress.Port), 65535);
}

TEST_F(RtcpCallTest, StartResetsTheCounterAndSendsTheEmptyFirstPacket) {
  Connect();
  remoteRtp_.SendTo(rtp_.LocalPort, Packet(0x80, 0x08, "a"));
  ASSERT_EQ(ReceiveWithin(rtcp_, kPayloadTypePCMA), "a");
  EXPECT_EQ(rtcp_.PacketsReceived, 1u);
  rtcp_.Start();
  EXPECT_EQ(rtcp_.PacketsReceived, 0u);
  std::uint16_t sender = 0;
  const auto first = remoteRtp_.Receive(2000ms, &sender);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(sender, rtp_.LocalPort);
  ASSERT_EQ(first->size(), 12u);
  EXPECT_EQ(first->substr(0, 4), Bytes({0x80, 0x08, 0x00, 0x00}));
  EXPECT_EQ(DecodeHeader(*first).SSRC, rtp_.SSRC);
}

TEST_F(RtcpCallTest, ReceiveKeepsOnlyRtpOfTheWantedTypeWithAPayload) {
  Connect();
  struct Case {
    const char* What;
    std::string Datagram;
    std::string Payload;
  };
  const std::string frame(240, '\x2A');
  const Case cases[] = {
      {"audio frame", Packet(0x80, 0x08, frame), frame},
      {"header only, like the first packet", Packet(0x80, 0x08, ""), ""},
      {"shorter than a header", Bytes({0x80, 0x08, 0, 1}), ""},
      {"payload type 0", Packet(0x80, 0x00, frame), ""},
      {"version 1", Packet(0x40, 0x08, frame), ""},
      {"version 0", Packet(0x00, 0x08, frame), ""},
      {"version 3", Packet(0xC0, 0x08, frame), ""},
      {"one payload byte", Packet(0x80, 0x08, "z"), "z"},
      {"marker set", Packet(0x80, 0x88, "m"), "m"},
      // The CSRC words are not skipped: they become part of the audio.
      {"CSRC count 2", Packet(0x82, 0x08, "CSRC1111" + frame), "CSRC1111" + frame},
      {"padding and extension", Packet(0xB0, 0x08, "px"), "px"},
      {"empty datagram", "", ""},
  };
  std::uint32_t accepted = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    remoteRtp_.SendTo(rtp_.LocalPort, c.Datagram);
    const auto payload = ReceiveWithin(rtcp_, kPayloadTypePCMA);
    ASSERT_TRUE(payload.has_value());
    EXPECT_EQ(*payload, c.Payload);
    if (!c.Payload.empty()) ++accepted;
    EXPECT_EQ(rtcp_.PacketsReceived, accepted);
  }
  // The sender of the last datagram is recorded on the RTP endpoint.
  EXPECT_EQ(ntohs(rtp_.SenderAddress.Port), remotePort_);
}

TEST_F(RtcpCallTest, ReceiveAsksForTheGivenPayloadType) {
  Connect();
  remoteRtp_.SendTo(rtp_.LocalPort, Packet(0x80, 0x00, "u"));
  EXPECT_EQ(ReceiveWithin(rtcp_, 0), "u");
  remoteRtp_.SendTo(rtp_.LocalPort, Packet(0x80, 0x08, "a"));
  EXPECT_EQ(ReceiveWithin(rtcp_, 0), "");
  EXPECT_EQ(rtcp_.PacketsReceived, 1u);
}

TEST_F(RtcpCallTest, ReceiveBeforeAnyCallGivesNothingAtOnce) {
  EXPECT_EQ(ReceiveWithin(rtcp_, kPayloadTypePCMA), "");
  EXPECT_EQ(rtcp_.PacketsReceived, 0u);
}

TEST_F(RtcpCallTest, ASilentRemoteGetsExactlyOneBye) {
  Connect();
  rtcp_.Start();
  const auto started = std::chrono::steady_clock::now();
  rtcp_.Stop();
  EXPECT_GE(std::chrono::steady_clock::now() - started, 10ms);
  EXPECT_EQ(CountByes(), 1);
}

// The playback thread, receiving and counting while the window's thread stops the call, and
// a remote party that sends a packet every millisecond until `keepSending` says otherwise.
class RemoteStillSending {
 public:
  RemoteStillSending(TRTCPClient& rtcp, PortPeer& remoteRtp, std::uint16_t localPort)
      : rtcp_(rtcp) {
    playback_ = std::thread([this] {
      TStreamLatch latch;
      while (!stopPlayback_)
        rtcp_.Receive(kPayloadTypePCMA, latch);
    });
    sender_ = std::thread([this, &remoteRtp, localPort] {
      const std::string packet =
          std::string("\x80\x08\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03", 12) +
          std::string(240, '\xD5');
      const auto deadline = std::chrono::steady_clock::now() + 5s;
      while (keepSending && std::chrono::steady_clock::now() < deadline) {
        remoteRtp.SendTo(localPort, packet);
        ++sent;
        std::this_thread::sleep_for(1ms);
      }
    });
  }

  // Waits (bounded) until the playback thread has counted a packet.
  bool Flowing() const {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (rtcp_.PacketsReceived > 0) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }

  ~RemoteStillSending() {
    keepSending = false;
    sender_.join();
    stopPlayback_ = true;
    rtcp_.RTPClient->InterruptReceive();
    playback_.join();
  }

  std::atomic<bool> keepSending{true};
  std::atomic<int> sent{0};

 private:
  TRTCPClient& rtcp_;
  std::atomic<bool> stopPlayback_{false};
  std::thread playback_;
  std::thread sender_;
};

TEST_F(RtcpCallTest, ARemoteThatKeepsSendingGetsSixByes) {
  Connect();
  rtcp_.Start();
  int byes = 0;
  {
    RemoteStillSending remote(rtcp_, remoteRtp_, rtp_.LocalPort);
    ASSERT_TRUE(remote.Flowing());
    const auto started = std::chrono::steady_clock::now();
    rtcp_.Stop();
    EXPECT_GE(std::chrono::steady_clock::now() - started, 60ms);
    byes = CountByes();  // while the remote still sends: no seventh
  }
  EXPECT_EQ(byes, 6);
}

TEST_F(RtcpCallTest, ARemoteThatFallsSilentDuringTheByesGetsFewer) {
  Connect();
  rtcp_.Start();
  int byes = 0;
  {
    RemoteStillSending remote(rtcp_, remoteRtp_, rtp_.LocalPort);
    ASSERT_TRUE(remote.Flowing());
    std::thread stopper([this] { rtcp_.Stop(); });
    // The remote party stops sending as soon as it has the second BYE.
    std::uint16_t sender = 0;
    for (int i = 0; i < 2; ++i) {
      const auto bye = remoteRtcp_.Receive(2000ms, &sender);
      ASSERT_TRUE(bye.has_value()) << i;
      EXPECT_EQ(*bye, BuildBye(rtp_.SSRC));
      ++byes;
    }
    remote.keepSending = false;
    stopper.join();
    byes += CountByes();
  }
  EXPECT_GT(byes, 1);
  EXPECT_LT(byes, 6);
  std::printf("remote silent after the second BYE: %d BYEs in all\n", byes);
}

TEST_F(RtcpCallTest, StopBeforeAnyCallSendsNothingAndReturns) {
  const auto started = std::chrono::steady_clock::now();
  rtcp_.Stop();
  EXPECT_GE(std::chrono::steady_clock::now() - started, 10ms);
  EXPECT_EQ(rtcp_.ErrorCode, 0);
  EXPECT_FALSE(remoteRtcp_.Receive(50ms).has_value());
}

TEST_F(RtcpCallTest, ASecondCallReplacesBothSockets) {
  Connect();
  rtcp_.Start();
  rtcp_.Stop();
  EXPECT_EQ(CountByes(), 1);
  ASSERT_TRUE(remoteRtp_.Receive(2000ms).has_value());  // the first call's empty packet
  Connect();
  rtcp_.Start();
  const auto first = remoteRtp_.Receive(2000ms);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(DecodeHeader(*first).SequenceNumber, 0);
  rtcp_.Stop();
  EXPECT_EQ(CountByes(), 1);
}

TEST(RtcpClientFailureTest, ATakenRtcpPortFailsAndLeavesTheRtpEndpointAsItWas) {
  const std::uint16_t port = FreePortPair();
  net::TCustomUDPClient holder;  // holds L + 1 on every address
  holder.Open();
  holder.Bind(static_cast<std::uint16_t>(port + 1));
  TRTPClient rtp(port);
  TRTCPClient rtcp(rtp);
  bool reachedAfterSetRemote = false;
  EXPECT_THROW(
      {
        rtcp.SetRemote("127.0.0.1", 4000);
        reachedAfterSetRemote = true;
      },
      platform::SilentAbort);
  EXPECT_FALSE(reachedAfterSetRemote);
  EXPECT_EQ(rtcp.ErrorCode, platform::kWsaAddressInUse);
  EXPECT_EQ(rtp.Socket, platform::kInvalidSocket);
  EXPECT_EQ(rtp.RemoteAddress.Port, 0);
  EXPECT_EQ(rtp.ErrorCode, 0);
}

TEST(RtcpClientFailureTest, ATakenRtpPortFailsAfterTheRtcpSocketIsOpen) {
  const std::uint16_t port = FreePortPair();
  net::TCustomUDPClient holder;  // holds L
  holder.Open();
  holder.Bind(port);
  TRTPClient rtp(port);
  TRTCPClient rtcp(rtp);
  EXPECT_FALSE(platform::RunGuarded([&] { rtcp.SetRemote("127.0.0.1", 4000); }));
  EXPECT_EQ(rtp.ErrorCode, platform::kWsaAddressInUse);
  EXPECT_NE(rtcp.Socket, platform::kInvalidSocket);
  EXPECT_EQ(rtcp.RemoteAddress.Port, 0);  // not reached
}

}  // namespace
}  // namespace media

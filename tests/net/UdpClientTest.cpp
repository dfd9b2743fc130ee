#include "net/UdpClient.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/SilentAbort.h"
#include "platform/SocketError.h"
#include "support/LoopbackPeer.h"

namespace net {
namespace {

using platform::SilentAbort;

// Counts the calls of its Close, to see that Open goes through the descendant's override.
class CountingClient : public TCustomUDPClient {
 public:
  void Close() override {
    ++Closes;
    TCustomUDPClient::Close();
  }
  int Closes = 0;
};

TEST(UdpClientTest, ANewEndpointIsClosedWithoutError) {
  TCustomUDPClient client;
  EXPECT_EQ(client.ErrorCode, 0);
  EXPECT_EQ(client.Socket, platform::kInvalidSocket);
  EXPECT_EQ(client.SenderAddress.Family, 0);
  EXPECT_EQ(client.SenderAddress.Address, 0u);
}

TEST(UdpClientTest, OpenClosesTheOldSocketThroughTheDescendant) {
  CountingClient client;
  client.Open();
  const platform::SocketHandle first = client.Socket;
  EXPECT_NE(first, platform::kInvalidSocket);
  EXPECT_EQ(client.Closes, 1);
  client.Open();
  EXPECT_EQ(client.Closes, 2);
  EXPECT_NE(client.Socket, platform::kInvalidSocket);
  client.Close();
  EXPECT_EQ(client.Socket, platform::kInvalidSocket);
  client.Close();  // on a closed endpoint: nothing
  EXPECT_EQ(client.Socket, platform::kInvalidSocket);
}

TEST(UdpClientTest, BindingATakenPortFailsWithAddressInUse) {
  testsupport::LoopbackPeer holder;  // holds 127.0.0.1:port; a wildcard bind collides
  TCustomUDPClient client;
  client.Open();
  bool reachedAfterBind = false;
  EXPECT_THROW(
      {
        client.Bind(holder.Port());
        reachedAfterBind = true;
      },
      SilentAbort);
  EXPECT_FALSE(reachedAfterBind);
  EXPECT_EQ(client.ErrorCode, platform::kWsaAddressInUse);
}

TEST(UdpClientTest, FailStoresTheCodeAndAbandonsSilently) {
  TCustomUDPClient client;
  EXPECT_FALSE(platform::RunGuarded([&] { client.Fail(7); }));
  EXPECT_EQ(client.ErrorCode, 7);
  EXPECT_TRUE(platform::RunGuarded([&] { client.Check(0); }));
  EXPECT_EQ(client.ErrorCode, 7);
}

class UdpReceiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.Open();
    port_ = testsupport::FreeLoopbackPort();
    client_.Bind(port_);
  }

  std::string SendAndReceive(const std::string& datagram) {
    peer_.SendTo(port_, datagram);
    std::string data = "stale";
    client_.ReceiveFrom(data);
    return data;
  }

  TCustomUDPClient client_;
  std::uint16_t port_ = 0;
  testsupport::LoopbackPeer peer_;
};

TEST_F(UdpReceiveTest, ReceivesADatagramAndItsSender) {
  EXPECT_EQ(SendAndReceive("hello"), "hello");
  EXPECT_EQ(client_.SenderAddress.Family, platform::kFamilyIPv4);
  EXPECT_EQ(client_.SenderAddress.Address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(client_.SenderAddress.Port), peer_.Port());
  EXPECT_EQ(client_.ErrorCode, 0);
}

TEST_F(UdpReceiveTest, FullEthernetFrameIsKeptButALongerDatagramIsDropped) {
  const std::string full(kMaxDatagram, 'x');
  EXPECT_EQ(SendAndReceive(full), full);
  EXPECT_EQ(SendAndReceive(std::string(kMaxDatagram + 1, 'y')), "");
  EXPECT_EQ(client_.ErrorCode, 0);  // a failed receive records nothing
}

TEST_F(UdpReceiveTest, EmptyDatagramGivesEmptyData) {
  EXPECT_EQ(SendAndReceive(""), "");
  EXPECT_EQ(SendAndReceive("next"), "next");
}

TEST_F(UdpReceiveTest, InterruptWakesAWaitingReceiveUntilTheNextOpen) {
  std::string data = "stale";
  std::thread receiver([&] { client_.ReceiveFrom(data); });
  client_.InterruptReceive();
  receiver.join();
  EXPECT_EQ(data, "");

  client_.Open();  // a new socket is not interrupted
  client_.Bind(port_);
  EXPECT_EQ(SendAndReceive("fresh"), "fresh");
}

TEST(UdpClientClosedTest, ReceiveOnAClosedEndpointIsEmpty) {
  TCustomUDPClient client;
  std::string data = "stale";
  client.ReceiveFrom(data);
  EXPECT_EQ(data, "");
  EXPECT_EQ(client.SenderAddress.Family, platform::kFamilyIPv4);
}

}  // namespace
}  // namespace net

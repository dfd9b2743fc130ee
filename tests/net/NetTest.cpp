// The UDP endpoint and the STUN client on loopback: binding, receiving, failing, and the
// Binding Response read from crafted answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "net/STUNClient.h"
#include "net/UdpUtil.h"
#include "platform/SilentAbort.h"
#include "platform/SocketError.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"

namespace net {
namespace {

using namespace std::chrono_literals;

TEST(UdpClientTest, ReceivesDatagramsUpToAFrameAndFailsWithItsNumber) {
  TCustomUDPClient endpoint;
  testsupport::LoopbackPeer peer;
  ASSERT_TRUE(platform::RunGuarded([&] { endpoint.Open(), endpoint.Bind(0); }));
  const std::uint16_t port = endpoint.BoundPort();
  std::string data;
  for (const std::size_t size : {std::size_t{1}, kMaxDatagram, kMaxDatagram + 1, std::size_t{0}}) {
    peer.SendTo(port, std::string(size, 'x'));
    endpoint.ReceiveFrom(data);
    EXPECT_EQ(data.size(), size <= kMaxDatagram ? size : 0) << size;
  }
  EXPECT_EQ(endpoint.SenderAddress().Port, htons(peer.Port()));
  endpoint.InterruptReceive();  // wakes a receive at once, until the next Open
  endpoint.ReceiveFrom(data);
  EXPECT_TRUE(data.empty());
  TCustomUDPClient second;
  EXPECT_FALSE(platform::RunGuarded([&] { second.Open(), second.Bind(port); }));
  EXPECT_EQ(second.ErrorCode(), platform::kWsaAddressInUse);
  endpoint.Close();
  EXPECT_FALSE(endpoint.IsOpen());
  endpoint.ReceiveFrom(data);  // a closed socket gives nothing, at once
  EXPECT_TRUE(data.empty());
  const std::string id = RandomHex();
  EXPECT_EQ(id.size(), 32u);
  EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_NE(id, RandomHex());
  EXPECT_EQ(ToHex(std::string("\x00\x7F\xA0\xFF", 4)), "007FA0FF");
}

std::string Be16(std::uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}
std::string Attribute(std::uint16_t type, const std::string& value) {
  return Be16(type) + Be16(static_cast<std::uint16_t>(value.size())) + value;
}
std::string Mapped(std::uint8_t family, std::uint16_t port, std::uint32_t address = 0x070071CB) {
  return std::string(1, '\0') + static_cast<char>(family) + Be16(port) +
         std::string(reinterpret_cast<const char*>(&address), 4);
}
std::string Answer(const std::string& id, const std::string& attributes, int announced = -1,
                   std::uint16_t type = kStunBindingResponse) {
  return Be16(type) +
         Be16(static_cast<std::uint16_t>(announced < 0 ? attributes.size() : announced)) + id +
         attributes;
}

TEST(StunMessageTest, TheFirstUsableMappedAddressOfOurAnswer) {
  const std::string id = "0123456789abcdef", good = Attribute(1, Mapped(1, 40000));
  const std::pair<std::string, bool> answers[] = {
      {Answer(id, Attribute(0x8022, "vendor!") + good), true},
      {Answer(id, Attribute(1, Mapped(1, 1) + "xxxx") + good), true},  // length 12 is not it
      {Answer(id, Attribute(1, Mapped(2, 1)) + good), true},           // nor IPv6
      {Answer(id, good + Attribute(1, Mapped(1, 9, 1))), true},
      {Answer(id, ""), false},
      {Answer(id, Attribute(0x8022, "")), false},
      {Answer(id, good, 4), false},
      {Answer(id, good, 24), false},  // more announced than sent
      {Answer(id, good, -1, 0x0111), false},
      {Answer("fedcba9876543210", good), false},
      {Answer(id, "").substr(0, 19), false},
      {Answer(id, Attribute(0x8022, "") + Be16(1) + Be16(8) + Mapped(1, 1).substr(0, 4)), false},
      {Answer(id, Be16(0x8022) + Be16(100) + good), false},        // a value past the datagram
      {Answer(id, Attribute(0x8022, "xxxx") + good, 8), false},    // past the announced length
      {Answer(id, Attribute(0x8022, "xxxx") + good, 12), false}};  // only its header within
  for (const auto& [datagram, found] : answers) {
    const auto mapped = ParseBindingResponse(datagram, id);
    ASSERT_EQ(mapped.has_value(), found) << &datagram - &answers[0].first;
    if (found) {
      EXPECT_EQ(std::pair(mapped->Address, mapped->Port),
                std::pair(0x070071CBu, std::uint16_t{40000}));
    }
  }
  EXPECT_EQ(BuildBindingRequest(id), std::string("\0\x01\0\0", 4) + id);
}

class StunClientTest : public ::testing::Test, public platform::MessageTarget {
 protected:
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    client_.HandleNotify(message);
  }
  testsupport::EventLoopHandOff loop_;
  testsupport::LoopbackPeer server_;
  TSTUNClient client_{platform::Window{&loop_, this}, platform::MessageNumber::StunHandOff, 0,
                      server_.Port()};
};

TEST_F(StunClientTest, OneRequestOneAnswerThenThePortIsFreeForAnother) {
  int found = 0;
  client_.OnPublicAddress = [&](TSTUNClient&) { ++found; };
  client_.Start("localhost");  // looked up off the main thread: sent once the address is in
  std::optional<std::string> request;
  ASSERT_TRUE(loop_.RunUntil([&] { return (request = server_.Receive(1ms)).has_value(); }, 2s));
  ASSERT_EQ(request->size(), 20u);
  const std::uint16_t port = server_.LastSender();
  server_.SendTo(
      port, Answer(request->substr(4), Attribute(0x8022, "") + Attribute(1, Mapped(1, 3478)), 4));
  server_.SendTo(port, Answer("another-request!", Attribute(1, Mapped(1, 1, 1))));
  server_.SendTo(port, Answer(request->substr(4, 16), Attribute(1, Mapped(1, 3478))));
  ASSERT_TRUE(loop_.RunUntil([&] { return found > 0; }, 2s));
  EXPECT_EQ(client_.PublicAddress().Address, 0x070071CBu);
  EXPECT_EQ(client_.PublicAddress().Port, 3478);
  EXPECT_FALSE(client_.IsOpen());
  testsupport::LoopbackPeer again(port);
  EXPECT_EQ(loop_.RunFor(50ms), 0);
  EXPECT_EQ(found, 1);
  TSTUNClient blocked{platform::Window{&loop_, this}, platform::MessageNumber::StunHandOff, port,
                      server_.Port()};
  blocked.Start("127.0.0.1");  // the port is taken: the client stays inert
  EXPECT_EQ(blocked.ErrorCode(), platform::kWsaAddressInUse);
  EXPECT_FALSE(server_.Receive(50ms));
}

}  // namespace
}  // namespace net

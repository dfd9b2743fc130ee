#include "net/StunClient.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <chrono>

#include "platform/Address.h"
#include "platform/EventLoopHandOff.h"
#include "platform/Socket.h"
#include "support/LoopbackPeer.h"

namespace net {
namespace {

using namespace std::chrono_literals;

const std::string kOurID = "0123456789abcdef";
const std::string kOtherID = "fedcba9876543210";

std::string Be16(std::uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string Attribute(std::uint16_t type, const std::string& value) {
  return Be16(type) + Be16(static_cast<std::uint16_t>(value.size())) + value;
}

std::string MappedValue(std::uint8_t family, std::uint16_t port, const char* dotted) {
  const std::uint32_t address = inet_addr(dotted);
  return std::string(1, '\0') + static_cast<char>(family) + Be16(port) +
         std::string(reinterpret_cast<const char*>(&address), 4);
}

// A response with the given attributes; the length field says `announced` when given.
std::string Response(std::uint16_t type, const std::string& id, const std::string& attributes,
                     std::optional<std::uint16_t> announced = std::nullopt) {
  return Be16(type) + Be16(announced.value_or(static_cast<std::uint16_t>(attributes.size()))) + id +
         attributes;
}

const std::string kGoodMapped = Attribute(0x0001, MappedValue(1, 40000, "203.0.113.7"));

struct ResponseCase {
  const char* Name;
  std::string Datagram;
  std::optional<std::pair<const char*, std::uint16_t>> Found;
};

std::vector<ResponseCase> ResponseCases() {
  const std::pair<const char*, std::uint16_t> good{"203.0.113.7", 40000};
  return {
      {"unknown attribute, then MAPPED-ADDRESS",
       Response(0x0101, kOurID, Attribute(0x8022, "vendor!") + kGoodMapped), good},
      {"wrong length skipped by its length",
       Response(0x0101, kOurID,
                Attribute(0x0001, MappedValue(1, 1, "10.0.0.1") + "xxxx") + kGoodMapped),
       good},
      {"wrong family skipped",
       Response(0x0101, kOurID, Attribute(0x0001, MappedValue(2, 1, "10.0.0.1")) + kGoodMapped),
       good},
      {"the first usable one wins",
       Response(0x0101, kOurID, kGoodMapped + Attribute(0x0001, MappedValue(1, 9, "198.51.100.1"))),
       good},
      {"L = 0", Response(0x0101, kOurID, ""), std::nullopt},
      {"L = 4", Response(0x0101, kOurID, Attribute(0x8022, "")), std::nullopt},
      {"L = 4 with a MAPPED-ADDRESS beyond it", Response(0x0101, kOurID, kGoodMapped, 4),
       std::nullopt},
      {"more attribute bytes announced than sent", Response(0x0101, kOurID, kGoodMapped, 24),
       std::nullopt},
      {"binding error response", Response(0x0111, kOurID, kGoodMapped), std::nullopt},
      {"binding request", Response(0x0001, kOurID, kGoodMapped), std::nullopt},
      {"foreign transaction ID", Response(0x0101, kOtherID, kGoodMapped), std::nullopt},
      {"shorter than a header", Response(0x0101, kOurID, "").substr(0, 19), std::nullopt},
      {"MAPPED-ADDRESS of length 8 ending past the datagram",
       Response(0x0101, kOurID,
                Attribute(0x8022, "") + Be16(0x0001) + Be16(8) +
                    MappedValue(1, 1, "1.2.3.4").substr(0, 4)),
       std::nullopt},
      {"unknown attribute longer than the datagram",
       Response(0x0101, kOurID, Be16(0x8022) + Be16(0xFFF0) + kGoodMapped), std::nullopt},
      {"empty datagram", "", std::nullopt},
  };
}

TEST(ParseBindingResponseTest, FindsOnlyAUsableMappedAddressOfOurTransaction) {
  for (const ResponseCase& c : ResponseCases()) {
    SCOPED_TRACE(c.Name);
    const std::optional<MappedAddress> mapped = ParseBindingResponse(c.Datagram, kOurID);
    ASSERT_EQ(mapped.has_value(), c.Found.has_value());
    if (!mapped) continue;
    EXPECT_EQ(mapped->Address, inet_addr(c.Found->first));
    EXPECT_EQ(mapped->Port, c.Found->second);
  }
}

TEST(BuildBindingRequestTest, IsTheTwentyByteHeaderAlone) {
  EXPECT_EQ(BuildBindingRequest(kOurID), std::string("\x00\x01\x00\x00", 4) + kOurID);
}

// The client on loopback against a crafted server, with the test as its window.
class StunClientTest : public ::testing::Test, public platform::MessageTarget {
 protected:
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    ++handOffs_;
    if (message.Message == kStunHandOffMessage) client_.HandleNotify(message);
  }

  std::string StartAndReadRequest() {
    client_.TransactionID = kOurID;
    client_.Start("127.0.0.1");
    auto request = server_.Receive(2s);
    EXPECT_TRUE(request);
    return request.value_or("");
  }

  platform::EventLoopHandOff loop_;
  testsupport::LoopbackPeer server_;
  const std::uint16_t clientPort_ = testsupport::FreeLoopbackPort();
  int handOffs_ = 0;
  std::vector<std::string> found_;
  TSTUNClient client_{platform::Window{&loop_, this}, kStunHandOffMessage, clientPort_,
                      server_.Port()};
};

TEST_F(StunClientTest, SendsOneBindingRequestWithItsTransactionID) {
  EXPECT_EQ(StartAndReadRequest(), BuildBindingRequest(kOurID));
  EXPECT_FALSE(server_.Receive(100ms)) << "a second request was sent";
  EXPECT_TRUE(client_.Thread.Running());
}

TEST_F(StunClientTest, WaitsThroughUnusableAnswersThenHandsOverTheGoodOne) {
  client_.OnPublicAddress = [this](TSTUNClient& c) {
    found_.push_back(platform::AddressToText(c.PublicAddress) + ":" + std::to_string(c.PublicPort));
  };
  StartAndReadRequest();
  for (const ResponseCase& c : ResponseCases()) {
    if (!c.Found && !c.Datagram.empty()) server_.SendTo(clientPort_, c.Datagram);
  }
  EXPECT_EQ(loop_.RunFor(100ms), 0);
  EXPECT_TRUE(client_.Thread.Running());

  server_.SendTo(clientPort_, Response(0x0101, kOurID, kGoodMapped));
  ASSERT_TRUE(loop_.RunUntil([&] { return !found_.empty(); }, 2s));
  EXPECT_EQ(found_, std::vector<std::string>{"203.0.113.7:40000"});
  EXPECT_EQ(client_.Socket, platform::kInvalidSocket);
  EXPECT_FALSE(client_.Thread.Running());

  // The port is free again, and nothing more is read.
  const platform::SocketHandle other = platform::CreateUdpSocket();
  EXPECT_EQ(platform::BindSocket(other, clientPort_), 0);
  platform::CloseSocket(other);
  server_.SendTo(clientPort_, Response(0x0101, kOurID, kGoodMapped));
  EXPECT_EQ(loop_.RunFor(100ms), 0);
  EXPECT_EQ(found_.size(), 1u);
}

TEST_F(StunClientTest, WithoutAHandlerTheAnswerIsStillStoredAndTheSocketClosed) {
  StartAndReadRequest();
  server_.SendTo(clientPort_, Response(0x0101, kOurID, kGoodMapped));
  ASSERT_TRUE(loop_.RunUntil([&] { return handOffs_ == 1; }, 2s));
  EXPECT_EQ(client_.PublicAddress, inet_addr("203.0.113.7"));
  EXPECT_EQ(client_.PublicPort, 40000);
  EXPECT_EQ(client_.Socket, platform::kInvalidSocket);
}

TEST_F(StunClientTest, TakenPortLeavesTheClientInertWithTheError) {
  testsupport::LoopbackPeer holder;
  TSTUNClient second{platform::Window{&loop_, this}, kStunHandOffMessage, holder.Port(),
                     server_.Port()};
  second.Start("127.0.0.1");  // returns normally: the caller's start-up goes on
  EXPECT_EQ(second.ErrorCode, 10048);
  EXPECT_FALSE(second.Thread.Running());
  EXPECT_FALSE(server_.Receive(100ms));
}

TEST_F(StunClientTest, DestructionWhileWaitingStopsTheThread) {
  auto waiting = std::make_unique<TSTUNClient>(platform::Window{&loop_, this}, kStunHandOffMessage,
                                               testsupport::FreeLoopbackPort(), server_.Port());
  waiting->Start("127.0.0.1");
  ASSERT_TRUE(server_.Receive(2s));
  ASSERT_TRUE(waiting->Thread.Running());
  waiting.reset();  // must return at once, with the thread gone
  EXPECT_EQ(loop_.RunFor(50ms), 0);
}

TEST(StunClientIdentityTest, EachClientDrawsItsOwnTransactionID) {
  platform::EventLoopHandOff loop;
  const TSTUNClient first{platform::Window{&loop, nullptr}, kStunHandOffMessage};
  const TSTUNClient second{platform::Window{&loop, nullptr}, kStunHandOffMessage};
  EXPECT_EQ(first.TransactionID.size(), kStunTransactionIDLength);
  EXPECT_NE(first.TransactionID, second.TransactionID);
}

}  // namespace
}  // namespace net

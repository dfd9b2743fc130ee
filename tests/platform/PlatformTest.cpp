// The receive thread and its hand-off to the main thread, the socket error numbers and the
// choice of the host's own address.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/Address.h"
#include "platform/ReceiveThread.h"
#include "platform/Socket.h"
#include "platform/SocketError.h"
#include "platform/Waker.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// A socket with a receive thread over it; each datagram travels in its message.
class ReceiveThreadTest : public ::testing::Test, public MessageTarget {
 protected:
  ReceiveThreadTest() { BindSocket(socket_, 0); }
  ~ReceiveThreadTest() override {
    thread_.Stop();
    CloseSocket(socket_);
  }
  void Start(bool endAfterHandOff = false) {
    waker_.Reset();  // as a client's Open does
    thread_.Start(
        Window{&loop_, this},
        [this]() -> std::optional<WindowMessage> {
          std::string data(1500, '\0');
          SocketAddress from;
          const int got = ReceiveDatagram(socket_, waker_, data.data(), data.size(), from);
          if (got <= 0) return std::nullopt;
          data.resize(static_cast<std::size_t>(got));
          received_ = true;
          return WindowMessage{MessageNumber::SipHandOff, FramedMessage{data, {}}};
        },
        [this] { waker_.Signal(); }, endAfterHandOff);
  }
  void HandleWindowMessage(const WindowMessage& message) override {
    handled_.push_back(std::get<FramedMessage>(message.Data).HeaderBlock);
    if (handled_.back() == "stop") thread_.Stop();  // from inside its own hand-off
  }
  testsupport::EventLoopHandOff loop_;
  testsupport::LoopbackPeer peer_;
  const SocketHandle socket_ = CreateUdpSocket();
  Waker waker_;
  ReceiveThread thread_;
  std::vector<std::string> handled_;
  std::atomic<bool> received_ = false;
};

TEST_F(ReceiveThreadTest, HandsOverInOrderAndStopsAtOnce) {
  Start();
  peer_.SendTo(BoundPort(socket_), "a");
  peer_.SendTo(BoundPort(socket_), "b");
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 2; }, 2s));
  EXPECT_EQ(handled_, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(thread_.Running());
  const auto start = std::chrono::steady_clock::now();
  thread_.Stop();  // blocked in its receive: woken, not waited for
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(thread_.Running());
}

TEST_F(ReceiveThreadTest, AStopWithdrawsWhatIsQueuedAndMayComeFromItsOwnHandOff) {
  Start();
  peer_.SendTo(BoundPort(socket_), "queued");
  ASSERT_TRUE(testsupport::Eventually([&] { return received_.load(); }));
  thread_.Stop();  // the message is being handed over, or queued: never delivered now
  EXPECT_EQ(loop_.RunFor(50ms), 0);
  EXPECT_TRUE(handled_.empty());
  Start();
  peer_.SendTo(BoundPort(socket_), "stop");
  peer_.SendTo(BoundPort(socket_), "after");
  ASSERT_TRUE(loop_.RunUntil([&] { return !thread_.Running(); }, 2s));
  EXPECT_EQ(loop_.RunFor(50ms), 0);
  EXPECT_EQ(handled_.back(), "stop");
}

TEST_F(ReceiveThreadTest, AThreadForOneAnswerEndsAfterIt) {
  Start(/*endAfterHandOff=*/true);
  peer_.SendTo(BoundPort(socket_), "answer");
  ASSERT_TRUE(loop_.RunUntil([&] { return !thread_.Running(); }, 2s));
  EXPECT_EQ(handled_.size(), 1u);
}

TEST(SocketErrorTest, WindowsSocketsNumbers) {
  EXPECT_EQ(ToWinsockError(EWOULDBLOCK), 10035);
  EXPECT_EQ(ToWinsockError(EADDRINUSE), 10048);
  EXPECT_EQ(ToWinsockError(EHOSTUNREACH), 10065);
  EXPECT_EQ(ToWinsockError(EACCES), 10013);  // 10000 + errno where no BSD number exists
  EXPECT_EQ(SendTo(kInvalidSocket, "x", 1, MakeSocketAddress(9, 0)), kSocketError);
  EXPECT_EQ(LastSocketError(), 10009);  // EBADF
}

TEST(AddressTest, TheHostsOwnAddressAndNames) {
  const auto a = [](const char* dotted) { return static_cast<std::uint32_t>(inet_addr(dotted)); };
  const InterfaceAddress lo{"lo", a("127.0.0.1"), true}, eth{"eth0", a("10.0.0.2"), false},
      wifi{"wlan0", a("192.168.1.5"), false};
  EXPECT_EQ(ChooseLocalAddress({lo, eth, wifi}, "wlan0"), a("192.168.1.5"));
  EXPECT_EQ(ChooseLocalAddress({lo, eth, wifi}, std::nullopt), a("10.0.0.2"));
  EXPECT_EQ(ChooseLocalAddress({lo}, "eth0"), a("127.0.0.1"));
  EXPECT_EQ(ChooseLocalAddress({}, std::nullopt), kNoAddress);
  EXPECT_EQ(ResolveAddress("192.0.2.33"), a("192.0.2.33"));
  EXPECT_EQ(ResolveAddress(""), kNoAddress);
  EXPECT_EQ(AddressToText(a("203.0.113.255")), "203.0.113.255");
}

}  // namespace
}  // namespace platform

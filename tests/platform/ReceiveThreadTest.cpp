#include "platform/ReceiveThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/EventLoopHandOff.h"
#include "platform/SilentAbort.h"
#include "platform/Socket.h"
#include "platform/Waker.h"
#include "support/LoopbackPeer.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kMessageNumber = 1025;

// A bound socket with a receive thread over it, handing every datagram to `OnMessage`.
class ReceiveThreadTest : public ::testing::Test, public MessageTarget {
 protected:
  void SetUp() override {
    socket_ = CreateUdpSocket();
    port_ = testsupport::FreeLoopbackPort();
    ASSERT_EQ(BindSocket(socket_, port_), 0);
  }

  void TearDown() override {
    thread_.Stop();
    CloseSocket(socket_);
  }

  void StartThread() {
    thread_.Start(
        Window{&loop_, this},
        [this]() -> std::optional<WindowMessage> {
          buffer_.assign(1500, '\0');
          SocketAddress from;
          const int got = ReceiveDatagram(socket_, waker_, buffer_.data(), buffer_.size(), from);
          if (got <= 0) return std::nullopt;
          buffer_.resize(static_cast<std::size_t>(got));
          received_++;
          return WindowMessage{kMessageNumber, 1, 0};
        },
        [this] { waker_.Signal(); });
  }

  void HandleWindowMessage(const WindowMessage& message) override {
    EXPECT_EQ(std::this_thread::get_id(), mainThread_);
    EXPECT_EQ(message.Message, kMessageNumber);
    handled_.push_back(buffer_);  // safe: the receive thread waits while we read its buffer
    if (onMessage_) onMessage_();
  }

  const std::thread::id mainThread_ = std::this_thread::get_id();
  EventLoopHandOff loop_;
  ReceiveThread thread_;
  Waker waker_;
  SocketHandle socket_ = kInvalidSocket;
  std::uint16_t port_ = 0;
  std::string buffer_;
  std::atomic<int> received_{0};
  std::vector<std::string> handled_;
  std::function<void()> onMessage_;
  testsupport::LoopbackPeer peer_;
};

TEST_F(ReceiveThreadTest, HandsEachDatagramToTheMainThreadInOrder) {
  StartThread();
  for (const char* text : {"one", "two", "three"})
    peer_.SendTo(port_, text);
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 3; }, 5s));
  EXPECT_EQ(handled_, (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(ReceiveThreadTest, StopWakesABlockedReceiveAndNothingIsDeliveredAfterwards) {
  StartThread();
  peer_.SendTo(port_, "before");
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 1; }, 5s));

  thread_.Stop();  // the thread is blocked in its receive now
  EXPECT_FALSE(thread_.Running());
  peer_.SendTo(port_, "after");
  EXPECT_EQ(loop_.RunFor(100ms), 0);
  EXPECT_EQ(handled_.size(), 1u);
}

TEST_F(ReceiveThreadTest, StopFromInsideItsOwnHandOffDoesNotDeadlock) {
  onMessage_ = [this] {
    thread_.Stop();
    EXPECT_FALSE(thread_.Running());
  };
  StartThread();
  peer_.SendTo(port_, "closing");
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 1; }, 5s));
  peer_.SendTo(port_, "late");
  EXPECT_EQ(loop_.RunFor(100ms), 0);
  EXPECT_EQ(handled_.size(), 1u);
}

TEST_F(ReceiveThreadTest, AHandOffStillQueuedIsWithdrawnByStop) {
  StartThread();
  peer_.SendTo(port_, "queued");
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (received_ == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(received_, 1);
  // The thread now waits in its hand-off, which the main thread has not run yet.
  thread_.Stop();
  EXPECT_EQ(loop_.RunFor(100ms), 0);
  EXPECT_TRUE(handled_.empty());
}

TEST_F(ReceiveThreadTest, ASilentAbortInTheHandlerEndsOnlyThatMessage) {
  onMessage_ = [this] {
    if (handled_.size() == 1) throw SilentAbort();
  };
  StartThread();
  peer_.SendTo(port_, "fails");
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 1; }, 5s));
  peer_.SendTo(port_, "goes on");
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 2; }, 5s));
  EXPECT_EQ(handled_[1], "goes on");
}

TEST_F(ReceiveThreadTest, AFailureOnTheThreadEndsItQuietly) {
  thread_.Start(
      Window{&loop_, this}, []() -> std::optional<WindowMessage> { throw SilentAbort(); }, [] {});
  // Nothing to deliver and nothing to crash; Stop still joins the ended thread.
  EXPECT_EQ(loop_.RunFor(50ms), 0);
  thread_.Stop();
  EXPECT_FALSE(thread_.Running());
}

TEST_F(ReceiveThreadTest, RestartAfterStopReceivesAgain) {
  StartThread();
  thread_.Stop();
  waker_.Reset();
  StartThread();
  peer_.SendTo(port_, "again");
  ASSERT_TRUE(loop_.RunUntil([&] { return handled_.size() == 1; }, 5s));
  EXPECT_EQ(handled_[0], "again");
}

class RecordingTarget : public MessageTarget {
 public:
  void HandleWindowMessage(const WindowMessage& message) override {
    Thread = std::this_thread::get_id();
    Last = message;
    ++Count;
  }
  std::thread::id Thread;
  WindowMessage Last;
  int Count = 0;
};

TEST(EventLoopHandOffTest, PostFromAnotherThreadRunsOnTheMainThread) {
  EventLoopHandOff loop;
  RecordingTarget target;
  std::thread poster([&] { loop.Post(target, WindowMessage{960, 7, 42}); });
  poster.join();
  ASSERT_TRUE(loop.RunUntil([&] { return target.Count == 1; }, 5s));
  EXPECT_EQ(target.Thread, std::this_thread::get_id());
  EXPECT_EQ(target.Last.Message, 960u);
  EXPECT_EQ(target.Last.WParam, 7u);
  EXPECT_EQ(target.Last.LParam, 42);
}

TEST(EventLoopHandOffTest, SendOnTheMainThreadDeliversDirectly) {
  EventLoopHandOff loop;
  RecordingTarget target;
  EXPECT_TRUE(loop.Send(target, WindowMessage{1026, 1, 2}, std::stop_token{}));
  EXPECT_EQ(target.Count, 1);
}

}  // namespace
}  // namespace platform

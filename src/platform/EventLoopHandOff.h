// A main-thread message loop without a window toolkit, for the protocol core's tests and
// tools: the thread that creates it is the main thread and runs the loop when it wants to.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/HandOff.h"
#include "platform/PendingMessage.h"

namespace platform {

class EventLoopHandOff final : public HandOff {
 public:
  EventLoopHandOff();

  bool Send(MessageTarget& target, const WindowMessage& message, std::stop_token stop) override;
  void Post(MessageTarget& target, const WindowMessage& message) override;

  // Main thread: delivers messages as they come until `done` holds or `timeout` has passed.
  // Returns whether `done` holds.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Main thread: delivers everything that arrives within `timeout`; returns how many messages
  // were delivered.
  int RunFor(std::chrono::milliseconds timeout);

 private:
  std::shared_ptr<PendingMessage> TakeNext(std::chrono::steady_clock::time_point deadline);
  void Enqueue(std::shared_ptr<PendingMessage> pending);

  const std::thread::id mainThread_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::shared_ptr<PendingMessage>> queue_;
};

}  // namespace platform

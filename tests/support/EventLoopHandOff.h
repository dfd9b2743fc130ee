// A main-thread message loop without a window toolkit, for the core's tests: the thread that
// creates it is the main thread and runs the loop when it wants to. And a bounded wait for what
// another thread does.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/HandOff.h"
#include "platform/PendingMessage.h"

namespace testsupport {

class EventLoopHandOff final : public platform::HandOff {
 public:
  using Clock = std::chrono::steady_clock;
  using Message = platform::WindowMessage;
  using Pending = std::shared_ptr<platform::PendingMessage>;

  bool Send(platform::MessageTarget& target, const Message& message,
            std::stop_token stop) override {
    auto pending = std::make_shared<platform::PendingMessage>(target, message, std::move(stop));
    if (std::this_thread::get_id() == main_) return pending->Deliver(), true;
    Enqueue(pending);
    return pending->WaitDelivered();
  }
  void Post(platform::MessageTarget& target, const Message& message,
            std::stop_token stop) override {
    Enqueue(std::make_shared<platform::PendingMessage>(target, message, std::move(stop)));
  }
  void PostAfter(platform::MessageTarget& target, const Message& message,
                 std::chrono::milliseconds delay, std::stop_token stop) override {
    std::lock_guard lock(mutex_);
    timed_.emplace(Clock::now() + delay,
                   std::make_shared<platform::PendingMessage>(target, message, std::move(stop)));
  }

  // Delivers messages as they come until `done` holds or `timeout` has passed; whether it holds.
  // `done` is asked after each delivery and every few milliseconds, for another thread's doing.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (auto now = Clock::now(); !done(); now = Clock::now()) {
      if (now >= deadline) return false;
      if (const Pending next = TakeNext(std::min(deadline, now + kPollPeriod))) next->Deliver();
    }
    return true;
  }
  // Delivers everything that arrives within `timeout`; how many were delivered.
  int RunFor(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    int delivered = 0;
    while (const Pending next = TakeNext(deadline))
      delivered += next->Deliver() ? 1 : 0;
    return delivered;
  }

 private:
  static constexpr std::chrono::milliseconds kPollPeriod{5};

  void Enqueue(Pending pending) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(pending));
    // Under the lock: once the main thread can take the message it may finish and destroy this
    // loop, so the sender must be done with the condition variable by then.
    arrived_.notify_one();
  }
  // The next message queued, or the first timed one that is due.
  Pending TakeNext(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (!queue_.empty()) {
        Pending next = std::move(queue_.front());
        queue_.pop_front();
        return next;
      }
      const auto now = Clock::now();
      if (!timed_.empty() && timed_.begin()->first <= now) {
        Pending next = std::move(timed_.begin()->second);
        timed_.erase(timed_.begin());
        return next;
      }
      if (now >= deadline) return nullptr;
      arrived_.wait_until(lock,
                          timed_.empty() ? deadline : std::min(deadline, timed_.begin()->first));
    }
  }

  const std::thread::id main_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Pending> queue_;
  std::multimap<Clock::time_point, Pending> timed_;
};

// A condition that another thread makes true, asked again after each `pause`, for at most 5 s.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds pause = std::chrono::milliseconds(1)) {
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5); !done();
       std::this_thread::sleep_for(pause)) {
    if (std::chrono::steady_clock::now() > end) return false;
  }
  return true;
}

}  // namespace testsupport

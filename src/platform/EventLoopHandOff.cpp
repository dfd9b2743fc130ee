#include "platform/EventLoopHandOff.h"

namespace platform {

EventLoopHandOff::EventLoopHandOff() : mainThread_(std::this_thread::get_id()) {}

bool EventLoopHandOff::Send(MessageTarget& target, const WindowMessage& message,
                            std::stop_token stop) {
  auto pending = std::make_shared<PendingMessage>(target, message, std::move(stop));
  if (std::this_thread::get_id() == mainThread_) {
    pending->Deliver();
    return true;
  }
  Enqueue(pending);
  return pending->WaitDelivered();
}

void EventLoopHandOff::Post(MessageTarget& target, const WindowMessage& message) {
  Enqueue(std::make_shared<PendingMessage>(target, message, std::stop_token{}));
}

void EventLoopHandOff::Enqueue(std::shared_ptr<PendingMessage> pending) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(pending));
  // Under the lock: once the main thread can take the message it may finish and destroy this
  // loop, so the sender must be done with the condition variable by then.
  arrived_.notify_one();
}

std::shared_ptr<PendingMessage> EventLoopHandOff::TakeNext(
    std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) return nullptr;
  auto next = std::move(queue_.front());
  queue_.pop_front();
  return next;
}

bool EventLoopHandOff::RunUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    auto next = TakeNext(deadline);
    if (!next) return done();
    next->Deliver();
  }
  return true;
}

int EventLoopHandOff::RunFor(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int delivered = 0;
  while (auto next = TakeNext(deadline)) {
    if (next->Deliver()) ++delivered;
  }
  return delivered;
}

}  // namespace platform

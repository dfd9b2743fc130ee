// One message on its way to the main thread, shared between the sender, who may wait for it,
// and the main thread's queue. Both hand-off implementations use it, so that cancellation
// works the same way in the program and in tests.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>

#include "platform/HandOff.h"

namespace platform {

class PendingMessage {
 public:
  PendingMessage(MessageTarget& target, const WindowMessage& message, std::stop_token stop);

  // Main thread: delivers the message unless its sender gave up first; a silent abort in the
  // handler ends there. Wakes the waiting sender in every case. Returns whether the handler ran.
  bool Deliver();

  // Sender: waits until the message has been delivered (true), or until a stop is requested
  // while it has not yet begun (false: it never will be).
  bool WaitDelivered();

 private:
  enum class Stage { kQueued, kDelivering, kDone, kAbandoned };

  void Finish(Stage stage);

  MessageTarget& target_;
  const WindowMessage message_;
  std::stop_token stop_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  Stage stage_ = Stage::kQueued;
};

}  // namespace platform

#include "platform/PendingMessage.h"

#include "platform/SilentAbort.h"

namespace platform {

PendingMessage::PendingMessage(MessageTarget& target, const WindowMessage& message,
                               std::stop_token stop)
    : target_(target), message_(message), stop_(std::move(stop)) {}

bool PendingMessage::Deliver() {
  {
    std::lock_guard lock(mutex_);
    if (stage_ != Stage::kQueued || stop_.stop_requested()) {
      stage_ = Stage::kAbandoned;
      changed_.notify_all();
      return false;
    }
    stage_ = Stage::kDelivering;
  }
  struct FinishOnExit {
    PendingMessage& pending;
    ~FinishOnExit() { pending.Finish(Stage::kDone); }
  } finish{*this};
  RunGuarded([this] { target_.HandleWindowMessage(message_); });
  return true;
}

bool PendingMessage::WaitDelivered() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, stop_,
                [this] { return stage_ == Stage::kDone || stage_ == Stage::kAbandoned; });
  if (stage_ == Stage::kDone) return true;
  if (stage_ == Stage::kQueued) {
    stage_ = Stage::kAbandoned;
    return false;
  }
  // A stop requested while the handler runs (it may be the handler itself that stops us):
  // the delivery cannot be taken back, so wait for it to end.
  changed_.wait(lock, [this] { return stage_ == Stage::kDone || stage_ == Stage::kAbandoned; });
  return stage_ == Stage::kDone;
}

void PendingMessage::Finish(Stage stage) {
  std::lock_guard lock(mutex_);
  stage_ = stage;
  changed_.notify_all();
}

}  // namespace platform

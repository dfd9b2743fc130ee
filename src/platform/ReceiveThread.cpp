#include "platform/ReceiveThread.h"

#include <atomic>
#include <stop_token>

#include "platform/ThreadGuard.h"
#include "platform/ThreadName.h"

namespace platform {

// What the thread may still touch once its client is gone.
struct ReceiveThread::Shared final : MessageTarget {
  explicit Shared(MessageTarget& target) : Target(target) {}

  void HandleWindowMessage(const WindowMessage& message) override {
    Delivering = true;
    struct Clear {
      std::atomic<bool>& flag;
      ~Clear() { flag = false; }
    } clear{Delivering};
    Target.HandleWindowMessage(message);
  }

  MessageTarget& Target;
  std::stop_source StopSource;
  // Set on the main thread while this thread's message is being handled there.
  std::atomic<bool> Delivering{false};
  std::atomic<bool> Ended{false};
};

ReceiveThread::~ReceiveThread() {
  Stop();
}

bool ReceiveThread::Running() const {
  return shared_ != nullptr && !shared_->Ended;
}

void ReceiveThread::Start(const Window& window, Receive receive, Interrupt interrupt,
                          bool endAfterHandOff) {
  Stop();
  shared_ = std::make_shared<Shared>(*window.Target);
  interrupt_ = std::move(interrupt);
  thread_ = std::thread(&ReceiveThread::Loop, shared_, window.Channel, std::move(receive),
                        endAfterHandOff);
}

void ReceiveThread::Stop() {
  if (!shared_) return;
  shared_->StopSource.request_stop();
  if (shared_->Delivering) {
    // We are inside this thread's hand-off: it waits for us, so it cannot be joined. It ends
    // as soon as the handler returns, touching nothing but `shared_`.
    thread_.detach();
  } else {
    if (interrupt_) interrupt_();
    // The receive was woken and a queued hand-off withdrawn: the thread ends at once.
    thread_.join();
  }
  shared_.reset();
  interrupt_ = nullptr;
}

void ReceiveThread::Loop(std::shared_ptr<Shared> shared, HandOff* channel, Receive receive,
                         bool endAfterHandOff) {
  NameThisThread("receive");
  const std::stop_token stop = shared->StopSource.get_token();
  RunThreadGuarded("receive", [&] {
    while (!stop.stop_requested()) {
      const std::optional<WindowMessage> message = receive();
      if (!message || stop.stop_requested()) continue;
      if (channel->Send(*shared, *message, stop) && endAfterHandOff) break;
    }
  });
  shared->Ended = true;
}

}  // namespace platform

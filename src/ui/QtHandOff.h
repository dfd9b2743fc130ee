// The hand-off to the main thread over the Qt event loop: the receive threads' synchronous
// Send and the audio device's Post queue the message and wake the GUI thread through a file
// descriptor that the loop watches; the GUI thread then delivers the queue. The queue is ours,
// under our own lock, so the whole road from a receive thread to the window is visible to the
// thread sanitizer. A silent abort in a handler ends there, as in any dispatcher.
#pragma once

#include <QObject>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/HandOff.h"
#include "platform/Waker.h"

class QSocketNotifier;

namespace platform {
class PendingMessage;
}

namespace ui {

class TQtHandOff final : public QObject, public platform::HandOff {
  Q_OBJECT

 public:
  // Lives on the thread that makes it, which is the thread that delivers.
  explicit TQtHandOff(QObject* parent = nullptr);
  ~TQtHandOff() override;

  bool Send(platform::MessageTarget& target, const platform::WindowMessage& message,
            std::stop_token stop) override;
  void Post(platform::MessageTarget& target, const platform::WindowMessage& message,
            std::stop_token stop) override;
  void PostAfter(platform::MessageTarget& target, const platform::WindowMessage& message,
                 std::chrono::milliseconds delay, std::stop_token stop) override;

 private:
  void Enqueue(std::shared_ptr<platform::PendingMessage> pending);
  void DeliverQueued();

  // Shared with the senders for the moment of a wake-up: they wake the GUI thread after
  // letting go of the lock, and the hand-off may be gone by then.
  struct Queue {
    std::mutex Mutex;
    std::deque<std::shared_ptr<platform::PendingMessage>> Messages;
    platform::Waker Waker;
  };
  std::shared_ptr<Queue> queue_;
  QSocketNotifier* notifier_;
};

}  // namespace ui

#include "ui/QtHandOff.h"

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "platform/PendingMessage.h"

namespace ui {

TQtHandOff::TQtHandOff(QObject* parent)
    : QObject(parent),
      queue_(std::make_shared<Queue>()),
      notifier_(new QSocketNotifier(queue_->Waker.Descriptor(), QSocketNotifier::Read, this)) {
  connect(notifier_, &QSocketNotifier::activated, this, &TQtHandOff::DeliverQueued);
}

TQtHandOff::~TQtHandOff() = default;

bool TQtHandOff::Send(platform::MessageTarget& target, const platform::WindowMessage& message,
                      std::stop_token stop) {
  auto pending = std::make_shared<platform::PendingMessage>(target, message, std::move(stop));
  if (QThread::currentThread() == thread()) {
    pending->Deliver();
    return true;
  }
  Enqueue(pending);
  return pending->WaitDelivered();
}

void TQtHandOff::Post(platform::MessageTarget& target, const platform::WindowMessage& message,
                      std::stop_token stop) {
  Enqueue(std::make_shared<platform::PendingMessage>(target, message, std::move(stop)));
}

void TQtHandOff::PostAfter(platform::MessageTarget& target, const platform::WindowMessage& message,
                           std::chrono::milliseconds delay, std::stop_token stop) {
  auto pending = std::make_shared<platform::PendingMessage>(target, message, std::move(stop));
  // Precise: what waits on it is spacing on the wire, a few milliseconds.
  QTimer::singleShot(delay, Qt::PreciseTimer, this, [pending] { pending->Deliver(); });
}

void TQtHandOff::Enqueue(std::shared_ptr<platform::PendingMessage> pending) {
  // Once the GUI thread can take the message it may finish and destroy this object: from
  // then on the sender touches only its own share of the queue.
  const std::shared_ptr<Queue> queue = queue_;
  {
    std::lock_guard lock(queue->Mutex);
    queue->Messages.push_back(std::move(pending));
  }
  // After the lock: woken under it, the GUI thread would find it held and sleep again.
  queue->Waker.Signal();
}

void TQtHandOff::DeliverQueued() {
  queue_->Waker.Reset();
  for (;;) {
    std::shared_ptr<platform::PendingMessage> next;
    {
      std::lock_guard lock(queue_->Mutex);
      if (queue_->Messages.empty()) return;
      next = std::move(queue_->Messages.front());
      queue_->Messages.pop_front();
    }
    // Outside the lock: the handler may itself send or post.
    next->Deliver();
  }
}

}  // namespace ui

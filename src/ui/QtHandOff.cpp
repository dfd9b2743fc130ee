#include "ui/QtHandOff.h"

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "platform/PendingMessage.h"

namespace ui {

QtHandOff::QtHandOff(QObject* parent)
    : QObject(parent),
      notifier_(new QSocketNotifier(waker_.Descriptor(), QSocketNotifier::Read, this)) {
  connect(notifier_, &QSocketNotifier::activated, this, &QtHandOff::DeliverQueued);
}

QtHandOff::~QtHandOff() = default;

bool QtHandOff::Send(platform::MessageTarget& target, const platform::WindowMessage& message,
                     std::stop_token stop) {
  auto pending = std::make_shared<platform::PendingMessage>(target, message, std::move(stop));
  if (QThread::currentThread() == thread()) {
    pending->Deliver();
    return true;
  }
  Enqueue(pending);
  return pending->WaitDelivered();
}

void QtHandOff::Post(platform::MessageTarget& target, const platform::WindowMessage& message,
                     std::stop_token stop) {
  Enqueue(std::make_shared<platform::PendingMessage>(target, message, std::move(stop)));
}

void QtHandOff::PostAfter(platform::MessageTarget& target, const platform::WindowMessage& message,
                          std::chrono::milliseconds delay, std::stop_token stop) {
  auto pending = std::make_shared<platform::PendingMessage>(target, message, std::move(stop));
  // Precise: what waits on it is spacing on the wire, a few milliseconds.
  QTimer::singleShot(delay, Qt::PreciseTimer, this, [pending] { pending->Deliver(); });
}

void QtHandOff::Enqueue(std::shared_ptr<platform::PendingMessage> pending) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(pending));
  // Under the lock: once the GUI thread can take the message it may finish and destroy this
  // object, so the sender must be done with it by then.
  waker_.Signal();
}

void QtHandOff::DeliverQueued() {
  waker_.Reset();
  for (;;) {
    std::shared_ptr<platform::PendingMessage> next;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    // Outside the lock: the handler may itself send or post.
    next->Deliver();
  }
}

}  // namespace ui

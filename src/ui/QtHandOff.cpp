#include "ui/QtHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <memory>

#include "platform/PendingMessage.h"

namespace ui {

namespace {

const QEvent::Type kHandOffEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class HandOffEvent final : public QEvent {
 public:
  explicit HandOffEvent(std::shared_ptr<platform::PendingMessage> pending)
      : QEvent(kHandOffEvent), Pending(std::move(pending)) {}
  const std::shared_ptr<platform::PendingMessage> Pending;
};

}  // namespace

QtHandOff::QtHandOff(QObject* parent) : QObject(parent) {}

bool QtHandOff::Send(platform::MessageTarget& target, const platform::WindowMessage& message,
                     std::stop_token stop) {
  auto pending = std::make_shared<platform::PendingMessage>(target, message, std::move(stop));
  if (QThread::currentThread() == thread()) {
    pending->Deliver();
    return true;
  }
  QCoreApplication::postEvent(this, new HandOffEvent(pending));
  return pending->WaitDelivered();
}

void QtHandOff::Post(platform::MessageTarget& target, const platform::WindowMessage& message) {
  QCoreApplication::postEvent(this, new HandOffEvent(std::make_shared<platform::PendingMessage>(
                                        target, message, std::stop_token{})));
}

void QtHandOff::customEvent(QEvent* event) {
  if (event->type() == kHandOffEvent) static_cast<HandOffEvent*>(event)->Pending->Deliver();
}

}  // namespace ui

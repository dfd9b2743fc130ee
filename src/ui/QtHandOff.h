// The hand-off to the main thread over the Qt event loop: the receive threads' synchronous
// Send and the audio device's Post become events delivered to this object on the thread that
// made it (the GUI thread). A silent abort in a handler ends there, as in any dispatcher.
#pragma once

#include <QObject>

#include "platform/HandOff.h"

namespace ui {

class QtHandOff final : public QObject, public platform::HandOff {
  Q_OBJECT

 public:
  explicit QtHandOff(QObject* parent = nullptr);

  bool Send(platform::MessageTarget& target, const platform::WindowMessage& message,
            std::stop_token stop) override;
  void Post(platform::MessageTarget& target, const platform::WindowMessage& message) override;

 protected:
  void customEvent(QEvent* event) override;
};

}  // namespace ui

// One softphone per desktop session: it holds the SIP and STUN ports, so a second copy could
// only fail at CONNEXION. A second start hands over to the running copy, which shows its
// window, and ends; a copy that does not answer (hung, or gone leaving its socket behind) is
// not waited for longer than a second, and the new start takes its place.
#pragma once

#include <QLocalServer>
#include <QString>
#include <chrono>
#include <functional>

namespace ui {

// The session's rendezvous: a socket in the user's runtime folder ($XDG_RUNTIME_DIR).
QString InstanceSocketPath();

class TSingleInstance final : public QObject {
  Q_OBJECT

 public:
  explicit TSingleInstance(QString socketPath, QObject* parent = nullptr);

  // Asks the running copy to show itself: whether it said so within `wait`.
  bool HandOver(std::chrono::milliseconds wait = std::chrono::seconds(1));
  // Becomes the copy later starts hand over to; `show` runs on each hand-over.
  bool Listen(std::function<void()> show);

 private:
  void Answer();

  const QString path_;
  QLocalServer server_;
  std::function<void()> show_;
};

}  // namespace ui

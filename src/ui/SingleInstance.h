// One softphone per desktop session: it holds the SIP and STUN ports, so a second copy could
// only fail at CONNEXION. A second start hands over to the running copy, which shows its
// window, and ends; a copy that does not answer (hung, or gone leaving its socket behind) is
// not waited for longer than a second, and the new start takes its place. A Unix socket and
// the window's event loop do it: no network library for one line each way.
#pragma once

#include <sys/types.h>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <string>

class QSocketNotifier;

namespace ui {

// The session's rendezvous: a socket in the user's runtime folder ($XDG_RUNTIME_DIR).
QString InstanceSocketPath();

class TSingleInstance final : public QObject {
  Q_OBJECT

 public:
  explicit TSingleInstance(const QString& socketPath, QObject* parent = nullptr);
  // Stops listening; the socket's file goes too, unless a later copy has taken its place.
  ~TSingleInstance() override;

  // Asks the running copy to show itself: whether it said so within `wait`.
  bool HandOver(std::chrono::milliseconds wait = std::chrono::seconds(1));
  // Becomes the copy later starts hand over to; `show` runs on each hand-over.
  bool Listen(std::function<void()> show);

 private:
  void Accept();
  void Answer(int connection, QSocketNotifier* readable, std::string& request);

  const std::string path_;
  int listener_ = -1;
  ino_t inode_ = 0;  // the socket file's, while it is ours
  std::function<void()> show_;
};

}  // namespace ui

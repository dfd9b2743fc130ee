#include "ui/SingleInstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace ui {

namespace {

constexpr std::string_view kShowRequest = "show\n";
constexpr std::string_view kShownAnswer = "shown\n";
// A knock is one short line: anything longer is not a copy of this program.
constexpr std::size_t kLongestLine = 16;
constexpr int kBacklog = 4;

std::optional<sockaddr_un> SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

int NewSocket() {
  return socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

}  // namespace

QString InstanceSocketPath() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/telvarion.instance";
}

TSingleInstance::TSingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), path_(socketPath.toStdString()) {}

TSingleInstance::~TSingleInstance() {
  if (listener_ < 0) return;
  close(listener_);
  struct stat file {};
  if (stat(path_.c_str(), &file) == 0 && file.st_ino == inode_) unlink(path_.c_str());
}

bool TSingleInstance::HandOver(std::chrono::milliseconds wait) {
  const std::optional<sockaddr_un> address = SocketAddress(path_);
  if (!address) return false;
  const int fd = NewSocket();
  if (fd < 0) return false;
  // Nobody there (no socket, or one nobody listens on) is known at once.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      send(fd, kShowRequest.data(), kShowRequest.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(kShowRequest.size())) {
    close(fd);
    return false;
  }
  // An event loop of its own rather than a blocking wait: the start-up is held no longer than
  // `wait`, and a copy on this same thread (the tests') can answer.
  std::string answer;
  QEventLoop loop;
  QSocketNotifier readable(fd, QSocketNotifier::Read);
  connect(&readable, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
  bool late = false;
  QTimer::singleShot(wait, &loop, [&] {
    late = true;
    loop.quit();
  });
  while (!late && answer.size() < kLongestLine && !answer.ends_with('\n')) {
    loop.exec();
    char buffer[kLongestLine];
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got == 0) break;  // the other side closed
    if (got > 0) answer.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return answer == kShownAnswer;
}

bool TSingleInstance::Listen(std::function<void()> show) {
  show_ = std::move(show);
  const std::optional<sockaddr_un> address = SocketAddress(path_);
  if (!address || (listener_ = NewSocket()) < 0) return false;
  const auto bindTo = [&] {
    return bind(listener_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0;
  };
  // Left by a copy that did not answer: a crashed one's file, or a hung one's socket.
  if (!bindTo() && !(errno == EADDRINUSE && unlink(path_.c_str()) == 0 && bindTo())) return false;
  struct stat file {};
  // Only the owner may knock.
  if (chmod(path_.c_str(), S_IRUSR | S_IWUSR) != 0 || stat(path_.c_str(), &file) != 0 ||
      listen(listener_, kBacklog) != 0) {
    return false;
  }
  inode_ = file.st_ino;
  auto* knocks = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
  connect(knocks, &QSocketNotifier::activated, this, &TSingleInstance::Accept);
  return true;
}

void TSingleInstance::Accept() {
  for (int connection;
       (connection = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
    auto* readable = new QSocketNotifier(connection, QSocketNotifier::Read, this);
    auto request = std::make_shared<std::string>();
    connect(readable, &QSocketNotifier::activated, this,
            [this, connection, readable, request] { Answer(connection, readable, *request); });
  }
}

void TSingleInstance::Answer(int connection, QSocketNotifier* readable, std::string& request) {
  char buffer[kLongestLine];
  const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (got > 0) request.append(buffer, static_cast<std::size_t>(got));
  if (got > 0 && request.size() < kLongestLine && !request.ends_with('\n')) return;
  if (request == kShowRequest) {
    if (show_) show_();
    send(connection, kShownAnswer.data(), kShownAnswer.size(), MSG_NOSIGNAL);
  }
  readable->setEnabled(false);
  readable->deleteLater();
  close(connection);
}

}  // namespace ui

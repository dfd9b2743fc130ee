#include "ui/SingleInstance.h"

#include <QEventLoop>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace ui {

namespace {
const QByteArray kShowRequest = "show\n";
const QByteArray kShownAnswer = "shown\n";
}  // namespace

QString InstanceSocketPath() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/telvarion.instance";
}

TSingleInstance::TSingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)), server_(this) {
  connect(&server_, &QLocalServer::newConnection, this, &TSingleInstance::Answer);
}

bool TSingleInstance::HandOver(std::chrono::milliseconds wait) {
  // An event loop of its own rather than blocking waits: the start-up is not held for longer
  // than `wait`, and a copy on this same thread (the tests') can answer.
  QEventLoop loop;
  QLocalSocket socket;
  QByteArray answer;
  connect(&socket, &QLocalSocket::connected, &loop, [&] { socket.write(kShowRequest); });
  connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
    answer += socket.readAll();
    if (answer.endsWith('\n')) loop.quit();
  });
  connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
  QTimer::singleShot(wait, &loop, &QEventLoop::quit);
  socket.connectToServer(path_);
  // Nobody there (no socket, or one nobody listens on) is known at once.
  if (socket.state() != QLocalSocket::UnconnectedState) loop.exec();
  if (socket.isOpen()) answer += socket.readAll();
  return answer == kShownAnswer;
}

bool TSingleInstance::Listen(std::function<void()> show) {
  show_ = std::move(show);
  // Only the owner may knock: the folder is the user's, the socket too.
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (server_.listen(path_)) return true;
  // Left by a copy that did not answer: a crashed one's file, or a hung one's socket.
  QLocalServer::removeServer(path_);
  return server_.listen(path_);
}

void TSingleInstance::Answer() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // A request is one short line; anything else is not a copy of this program.
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kShowRequest.size()) socket->abort();
        return;
      }
      if (socket->readLine() == kShowRequest) {
        if (show_) show_();
        socket->write(kShownAnswer);
      }
      socket->disconnectFromServer();
    });
  }
}

}  // namespace ui

#include "app/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace app {

namespace {

constexpr char kAck = '\x01';

// The runtime folder when it is set and usable, else /tmp.
QString RuntimeFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists()) return QString::fromLocal8Bit(runtime);
  return QDir::tempPath();
}

}  // namespace

struct SingleInstance::Impl {
  QString name;
  QString error;
  std::unique_ptr<QLocalServer> server;
  std::function<void(const QString&)> handler;

  void Accept();
};

QString SingleInstance::DefaultName() {
  return RuntimeFolder() + QString("/vividrome-%1.socket").arg(static_cast<qulonglong>(getuid()));
}

SingleInstance::SingleInstance(QString name) : d_(std::make_unique<Impl>()) { d_->name = std::move(name); }

SingleInstance::~SingleInstance() {
  if (d_->server) d_->server->close();  // removes the socket file
}

QString SingleInstance::Name() const { return d_->name; }
QString SingleInstance::ErrorText() const { return d_->error; }

void SingleInstance::SetHandler(std::function<void(const QString&)> handler) { d_->handler = std::move(handler); }

SingleInstance::Delivery SingleInstance::Deliver(const QString& message, int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(d_->name);
  if (!socket.waitForConnected(timeoutMs)) return Delivery::NoListener;
  if (message.isEmpty()) return Delivery::Delivered;
  QByteArray bytes = message.toUtf8();
  bytes.append('\0');
  socket.write(bytes);
  if (!socket.waitForBytesWritten(timeoutMs)) return Delivery::NotAnswered;
  // The answer byte: the listener has the whole message.
  while (socket.bytesAvailable() == 0)
    if (!socket.waitForReadyRead(timeoutMs)) return Delivery::NotAnswered;
  char answer = 0;
  return socket.getChar(&answer) && answer == kAck ? Delivery::Delivered : Delivery::NotAnswered;
}

bool SingleInstance::Send(const QString& message, int timeoutMs) const {
  return Deliver(message, timeoutMs) == Delivery::Delivered;
}

bool SingleInstance::Listen() {
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(d_->name);
  if (!server->listen(d_->name)) {
    d_->error = server->errorString();
    return false;
  }
  QObject::connect(server.get(), &QLocalServer::newConnection, server.get(), [impl = d_.get()] { impl->Accept(); });
  d_->server = std::move(server);
  return true;
}

void SingleInstance::Impl::Accept() {
  while (QLocalSocket* socket = server->nextPendingConnection()) {
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Bytes gather until the zero byte; a sender that goes over the limit
    // is cut off.
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
      buffer->append(socket->readAll());
      const qsizetype end = buffer->indexOf('\0');
      if (end < 0) {
        if (buffer->size() > kMaxMessageBytes) socket->abort();
        return;
      }
      const QString message = QString::fromUtf8(buffer->constData(), end);
      buffer->clear();
      socket->putChar(kAck);
      socket->flush();
      socket->disconnectFromServer();
      if (handler) handler(message);
    });
  }
}

SingleInstance::Role SingleInstance::Claim(const QString& message, int timeoutMs) {
  QLockFile lock(d_->name + ".lock");
  // A start that waits longer than this is stuck; go on without the lock
  // rather than never start.
  const bool locked = lock.tryLock(timeoutMs);
  Role role = Role::Failed;
  switch (Deliver(message, timeoutMs)) {
    case Delivery::Delivered:
      role = Role::Second;
      break;
    case Delivery::NotAnswered:
      // Someone listens but did not take the message: never take its socket.
      d_->error = "The running Vividrome did not answer.";
      break;
    case Delivery::NoListener:
      role = Listen() ? Role::First : Role::Failed;
      break;
  }
  if (locked) lock.unlock();
  return role;
}

}  // namespace app

#include "platform/qt/TcpListener.h"

#include <QHostAddress>
#include <QTcpSocket>

#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"
#include "platform/qt/TcpConnection.h"

namespace zq {

TTcpListener::TTcpListener(QObject* parent) : QObject(parent) {
  connect(&server_, &QTcpServer::newConnection, this, &TTcpListener::Accept);
}

TTcpListener::~TTcpListener() {
  Stop();
}

void TTcpListener::Listen(uint16_t port, const std::string& host) {
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(host)) ||
      (address.protocol() != QAbstractSocket::IPv4Protocol &&
       address.protocol() != QAbstractSocket::IPv6Protocol))
    throw EInOutError("Cannot listen on TCP port " + std::to_string(port) + ": \"" + host +
                      "\" is not an IPv4 or IPv6 address");
  if (server_.isListening()) server_.close();
  if (!server_.listen(address, port))
    throw EInOutError("Cannot listen on TCP port " + std::to_string(port) + " of " + host + ": " +
                      server_.errorString().toStdString());
}

void TTcpListener::Stop() {
  server_.close();
  auto live = std::move(live_);
  live_.clear();
  for (auto& [key, connection] : live) {
    connection->Drop();
    connection->setParent(this);
    connection.release()->deleteLater();
  }
}

void TTcpListener::Accept() {
  // Bounded by Qt's backlog of accepted sockets (maxPendingConnections).
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    auto owned = std::make_unique<TTcpConnection>(*this, *socket);
    TTcpConnection& connection = *owned;
    live_.emplace(&connection, std::move(owned));
    Raise("connect", OnConnect, connection);
    if (connection.Closed()) continue;
    QMetaObject::invokeMethod(
        &connection,
        [this, &connection] {
          if (!connection.Closed()) Raise("write", OnWrite, connection);
        },
        Qt::QueuedConnection);
  }
}

void TTcpListener::Raise(const char* event, const ConnectionEvent& handler,
                         TTcpConnection& connection) {
  ConnectionEvent run = handler;  // the handler may replace itself
  if (run) RunGuarded(event, [&] { run(connection); });
}

void TTcpListener::Retire(TTcpConnection& connection) {
  auto it = live_.find(&connection);
  if (it == live_.end()) return;
  std::unique_ptr<TTcpConnection> owned = std::move(it->second);
  live_.erase(it);
  owned->setParent(this);
  owned.release()->deleteLater();
}

}  // namespace zq

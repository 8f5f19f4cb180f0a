#include "platform/qt/UdpEndpoint.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <QNetworkDatagram>

#include "platform/qt/EventGuard.h"
#include "platform/qt/HostAddress.h"

namespace zq {
namespace {

// Datagrams handed over per readiness signal; the rest follow in a queued round.
constexpr int DATAGRAMS_PER_ROUND = 1024;

}  // namespace

TUdpEndpoint::TUdpEndpoint(const std::string& address)
    : socket_(std::make_unique<QUdpSocket>()),
      address_(QString::fromStdString(address)),
      alive_(std::make_shared<bool>(true)) {
  connect(socket_.get(), &QUdpSocket::readyRead, this, &TUdpEndpoint::Deliver);
}

TUdpEndpoint::~TUdpEndpoint() {
  *alive_ = false;
  QObject::disconnect(socket_.get(), nullptr, this, nullptr);
  socket_->close();
  socket_.release()->deleteLater();
}

bool TUdpEndpoint::Bind(uint16_t localPort) {
  socket_->close();
  lastError_.clear();
  if (localPort == 0) return true;
  if (socket_->bind(address_, localPort, QAbstractSocket::DontShareAddress)) return true;
  lastError_ = socket_->errorString().toStdString();
  return false;
}

void TUdpEndpoint::SetRemote(const std::string& host, uint16_t port) {
  remoteHost_ = host;
  remotePort_ = port;
  remote_ = sockaddr_storage{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&remote_);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&remote_);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    remoteLength_ = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    remoteLength_ = sizeof(sockaddr_in6);
  } else {
    remoteLength_ = 0;
  }
  remoteValid_ = port != 0 && remoteLength_ != 0;
}

void TUdpEndpoint::Send(std::string_view datagram) {
  // The hot path of every game broadcast: one sendto on the bound socket, the address
  // parsed once in SetRemote.
  qintptr fd = socket_->socketDescriptor();
  if (!remoteValid_ || fd < 0) return;
  ::sendto(static_cast<int>(fd), datagram.data(), datagram.size(), MSG_DONTWAIT,
           reinterpret_cast<const sockaddr*>(&remote_), remoteLength_);
}

uint16_t TUdpEndpoint::LocalPort() const {
  return socket_->state() == QAbstractSocket::BoundState ? socket_->localPort() : 0;
}

void TUdpEndpoint::Deliver() {
  std::shared_ptr<bool> alive = alive_;
  for (int n = 0; n < DATAGRAMS_PER_ROUND; ++n) {
    if (socket_->state() != QAbstractSocket::BoundState || !socket_->hasPendingDatagrams()) return;
    QNetworkDatagram datagram = socket_->receiveDatagram();
    UdpReceiveHandler handler = handler_;  // the handler may replace itself
    if (!handler) continue;
    QByteArray data = datagram.data();
    std::string bytes(data.constData(), static_cast<std::size_t>(data.size()));
    std::string sender = DottedAddress(datagram.senderAddress());
    auto port = static_cast<uint16_t>(datagram.senderPort());
    RunGuarded("UDP receive", [&] { handler(*this, std::move(bytes), port, sender); });
    if (!*alive) return;  // the handler destroyed this endpoint
  }
  QMetaObject::invokeMethod(this, &TUdpEndpoint::Deliver, Qt::QueuedConnection);
}

std::unique_ptr<IUdpEndpoint> CreateUdpEndpoint(const std::string& address) {
  return std::make_unique<TUdpEndpoint>(address);
}

}  // namespace zq

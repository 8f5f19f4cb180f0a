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

TUdpEndpoint::TUdpEndpoint()
    : socket_(std::make_unique<QUdpSocket>()), alive_(std::make_shared<bool>(true)) {
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
  if (socket_->bind(QHostAddress::AnyIPv4, localPort, QAbstractSocket::DontShareAddress))
    return true;
  lastError_ = socket_->errorString().toStdString();
  return false;
}

void TUdpEndpoint::SetRemote(const std::string& host, uint16_t port) {
  remoteHost_ = host;
  remotePort_ = port;
  remote_ = sockaddr_in{};
  remote_.sin_family = AF_INET;
  remote_.sin_port = htons(port);
  remoteValid_ = port != 0 && inet_pton(AF_INET, host.c_str(), &remote_.sin_addr) == 1;
}

void TUdpEndpoint::Send(std::string_view datagram) {
  // The hot path of every game broadcast: one sendto on the bound socket, the address
  // parsed once in SetRemote.
  qintptr fd = socket_->socketDescriptor();
  if (!remoteValid_ || fd < 0) return;
  ::sendto(static_cast<int>(fd), datagram.data(), datagram.size(), MSG_DONTWAIT,
           reinterpret_cast<const sockaddr*>(&remote_), sizeof remote_);
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

std::unique_ptr<IUdpEndpoint> CreateUdpEndpoint() {
  return std::make_unique<TUdpEndpoint>();
}

}  // namespace zq

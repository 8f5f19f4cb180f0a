#include "platform/qt/UdpEndpoint.h"

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
}

void TUdpEndpoint::Send(const std::string& datagram) {
  QHostAddress remote;
  if (!remote.setAddress(QString::fromStdString(remoteHost_)) || remotePort_ == 0) return;
  socket_->writeDatagram(datagram.data(), static_cast<qint64>(datagram.size()), remote,
                         remotePort_);
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

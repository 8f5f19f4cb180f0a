#include "platform/qt/TcpConnection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTcpSocket>
#include <QTimer>
#include <utility>

#include "platform/qt/EventGuard.h"
#include "platform/qt/HostAddress.h"
#include "platform/qt/TcpListener.h"

namespace zq {
namespace {

// How long a closed connection may take to hand its remaining output to the kernel.
constexpr int LINGER_MS = 5000;
// Bytes Qt reads ahead of the handler; beyond them the kernel holds the peer's data, so a fast
// sender meets TCP back-pressure instead of growing the server's memory.
constexpr qint64 READ_BUFFER_SIZE = 64 * 1024;

}  // namespace

int SocketErrorCode(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
      return SOCKET_ERROR_RESET;
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::SocketAccessError:
      return 10013;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    case QAbstractSocket::NetworkError:
      return 10050;
    case QAbstractSocket::DatagramTooLargeError:
      return 10040;
    default:
      return 10000 + static_cast<int>(error);
  }
}

TTcpConnection::TTcpConnection(TTcpListener& listener, QTcpSocket& socket)
    : listener_(listener), socket_(&socket) {
  socket.setParent(this);
  socket.setReadBufferSize(READ_BUFFER_SIZE);
  address_ = DottedAddress(socket.peerAddress());
  port_ = socket.peerPort();
  auto fd = socket.socketDescriptor();
  if (fd >= 0) watchFd_ = ::fcntl(static_cast<int>(fd), F_DUPFD_CLOEXEC, 0);
  connect(&socket, &QTcpSocket::readyRead, this, &TTcpConnection::HandleReadyRead);
  connect(&socket, &QTcpSocket::errorOccurred, this, &TTcpConnection::HandleError);
  connect(&socket, &QTcpSocket::disconnected, this, &TTcpConnection::HandleDisconnected);
}

TTcpConnection::~TTcpConnection() {
  CloseWatch();
  if (socket_) {
    QObject::disconnect(socket_, nullptr, this, nullptr);
    socket_->abort();  // the socket itself goes with this object's children
  }
}

void TTcpConnection::SendText(std::string_view bytes) {
  if (closed_ || overflowed_ || !socket_ || bytes.empty()) return;
  socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (PendingBytes() <= listener_.SendLimit()) return;
  overflowed_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!closed_) listener_.Raise("overflow", listener_.OnOverflow, *this);
      },
      Qt::QueuedConnection);
}

std::string TTcpConnection::ReceiveText(std::size_t maxBytes) {
  if (!socket_) return {};
  QByteArray data = socket_->read(static_cast<qint64>(maxBytes));
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

std::size_t TTcpConnection::PendingBytes() const {
  return socket_ ? static_cast<std::size_t>(socket_->bytesToWrite()) : 0;
}

void TTcpConnection::Close() {
  if (closed_) return;
  closed_ = true;
  ReleaseSocket(overflowed_);
  listener_.Raise("disconnect", listener_.OnDisconnect, *this);
  listener_.Retire(*this);
}

void TTcpConnection::Drop() {
  if (closed_) return;
  closed_ = true;
  ReleaseSocket(overflowed_);
}

void TTcpConnection::HandleReadyRead() {
  if (closed_) return;
  listener_.Raise("read", listener_.OnRead, *this);
  // A handler that took only part leaves the rest for a later turn, after the other events.
  if (closed_ || readQueued_ || !socket_ || socket_->bytesAvailable() == 0) return;
  readQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        readQueued_ = false;
        HandleReadyRead();
      },
      Qt::QueuedConnection);
}

void TTcpConnection::HandleError(QAbstractSocket::SocketError error) {
  if (closed_) return;
  if (error == QAbstractSocket::RemoteHostClosedError) {
    // Qt says the same for a FIN and a reset; only a reset is an error.
    if (PeerReset()) RaiseError(SOCKET_ERROR_RESET, socket_ ? socket_->errorString() : QString());
    return;
  }
  RaiseError(SocketErrorCode(error), socket_ ? socket_->errorString() : QString());
}

void TTcpConnection::HandleDisconnected() {
  if (closed_) return;
  // A reset that Qt reported without an error signal still comes first as an error.
  if (PeerReset()) {
    RaiseError(SOCKET_ERROR_RESET, QStringLiteral("Connection reset by peer"));
    if (closed_) return;  // the error handler closed the connection
  }
  closed_ = true;
  ReleaseSocket(true);
  listener_.Raise("disconnect", listener_.OnDisconnect, *this);
  listener_.Retire(*this);
}

bool TTcpConnection::PeerReset() {
  if (resetReported_ || watchFd_ < 0) return false;
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(watchFd_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
  if (info.tcpi_state != TCP_CLOSE) return false;
  resetReported_ = true;
  return true;
}

void TTcpConnection::RaiseError(int code, const QString& qtText) {
  TTcpListener::ErrorEvent handler = listener_.OnError;
  if (handler) RunGuarded("error", [&] { handler(*this, code); });
  if (code == 0) return;
  ReportEventError("Socket error " + std::to_string(code) + " on " + address_ + ":" +
                   std::to_string(port_) + ": " + qtText.toStdString());
}

void TTcpConnection::ReleaseSocket(bool discard) {
  if (!socket_) return;
  QTcpSocket* socket = std::exchange(socket_, nullptr);
  QObject::disconnect(socket, nullptr, this, nullptr);
  socket->setParent(&listener_);
  CloseWatch();  // the socket closes for real only when no duplicate descriptor remains
  if (!discard && socket->state() == QAbstractSocket::ConnectedState) socket->flush();
  if (discard || socket->state() != QAbstractSocket::ConnectedState ||
      socket->bytesToWrite() == 0) {
    socket->abort();
    socket->deleteLater();
    return;
  }
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  QTimer::singleShot(LINGER_MS, socket, [socket] {
    socket->abort();
    socket->deleteLater();
  });
  socket->disconnectFromHost();
}

void TTcpConnection::CloseWatch() {
  if (watchFd_ >= 0) ::close(std::exchange(watchFd_, -1));
}

}  // namespace zq

// TTcpConnection: one accepted TCP connection of a TTcpListener, over a QTcpSocket. It keeps
// the remote address and port from the accept, raises its events through the listener, tells
// a reset by the peer (error 10054) from an orderly close, bounds its send buffer, and reads
// ahead at most 64 KiB (a read event that leaves bytes untaken is raised again on a later
// turn of the event loop). Main thread only.
//
// Error codes given to the error event (Winsock numbers, as the server's handlers expect):
//   10054 reset by the peer         10061 connection refused     10060 timed out
//   10013 access denied             10055 out of resources        10050 network down
//   10040 datagram too large        10000 + Qt's error number for any other error
// An orderly close by the peer is no error: it raises only the disconnect event.
//
// Qt reports a reset like an orderly close (RemoteHostClosedError; the descriptor is closed
// before the signal). The connection therefore keeps a duplicate of the socket descriptor
// and, when Qt reports the close, reads the kernel's TCP state through it: CLOSE means the
// peer reset the connection, CLOSE_WAIT means it sent an orderly FIN.
#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <cstdint>
#include <string>

#include "platform/Sockets.h"

class QTcpSocket;

namespace zq {

class TTcpListener;

// The error code the error event carries for a Qt socket error (see the table above).
int SocketErrorCode(QAbstractSocket::SocketError error);

class TTcpConnection : public QObject, public ITcpConnection {
 public:
  // Takes `socket` over (it becomes a child of the connection).
  TTcpConnection(TTcpListener& listener, QTcpSocket& socket);
  ~TTcpConnection() override;
  TTcpConnection(const TTcpConnection&) = delete;
  TTcpConnection& operator=(const TTcpConnection&) = delete;

  const std::string& RemoteAddress() const override { return address_; }
  uint16_t RemotePort() const override { return port_; }
  // Appends to the send buffer; ignored once closed or over the send bound.
  void SendText(std::string_view bytes) override;
  std::string ReceiveText(std::size_t maxBytes) override;
  void Close() override;

  bool Closed() const { return closed_; }
  // Bytes waiting in the send buffer (not yet handed to the kernel).
  std::size_t PendingBytes() const;

  // Listener's Stop: ends the connection without a disconnect event.
  void Drop();

 private:
  void HandleReadyRead();
  void HandleError(QAbstractSocket::SocketError error);
  void HandleDisconnected();
  // True once when the kernel says the peer reset the connection.
  bool PeerReset();
  void RaiseError(int code, const QString& qtText);
  // Detaches the Qt socket and lets it finish: pending output is flushed (bounded in time)
  // unless `discard`, then the socket is closed and deleted later.
  void ReleaseSocket(bool discard);
  void CloseWatch();

  TTcpListener& listener_;
  QTcpSocket* socket_;  // child of this connection until released
  int watchFd_ = -1;    // duplicate descriptor used to read the TCP state
  std::string address_;
  uint16_t port_ = 0;
  bool closed_ = false;
  bool overflowed_ = false;
  bool resetReported_ = false;
  bool readQueued_ = false;  // a later read event is on its way
};

}  // namespace zq

// TUdpEndpoint: a UDP endpoint over QUdpSocket, bound on the address it is made for (every
// IPv4 interface by default; IPv4 or IPv6). Bind(0) releases the port; Send goes to the remote
// host and port; every datagram that arrives is handed to the receive handler with the
// sender's address (dotted for IPv4) and port.
// Main thread only.
#pragma once

#include <netinet/in.h>

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Sockets.h"

namespace zq {

class TUdpEndpoint : public QObject, public IUdpEndpoint {
 public:
  // `address`: where Bind binds, an IPv4 or IPv6 address.
  explicit TUdpEndpoint(const std::string& address = "0.0.0.0");
  ~TUdpEndpoint() override;
  TUdpEndpoint(const TUdpEndpoint&) = delete;
  TUdpEndpoint& operator=(const TUdpEndpoint&) = delete;

  // Binds exclusively (no address sharing); 0 closes the socket and frees its port.
  bool Bind(uint16_t localPort) override;
  void SetRemote(const std::string& host, uint16_t port) override;
  // Silently drops the datagram when the remote host is not an address (UDP is lossy).
  void Send(std::string_view datagram) override;
  void SetReceiveHandler(UdpReceiveHandler handler) override { handler_ = std::move(handler); }

  // The bound port (0: not bound).
  uint16_t LocalPort() const;
  // Qt's text for the last failed Bind.
  const std::string& LastError() const { return lastError_; }

 private:
  void Deliver();

  // Deleted later, never inside its own signal, so a handler may destroy this endpoint.
  std::unique_ptr<QUdpSocket> socket_;
  QHostAddress address_;
  // Cleared by the destructor; lets Deliver notice that a handler destroyed the endpoint.
  std::shared_ptr<bool> alive_;
  UdpReceiveHandler handler_;
  std::string remoteHost_;
  uint16_t remotePort_ = 0;
  sockaddr_storage remote_{};
  socklen_t remoteLength_ = 0;
  bool remoteValid_ = false;
  std::string lastError_;
};

std::unique_ptr<IUdpEndpoint> CreateUdpEndpoint(const std::string& address = "0.0.0.0");

}  // namespace zq

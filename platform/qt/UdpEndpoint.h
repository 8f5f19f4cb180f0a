// TUdpEndpoint: a UDP endpoint, a non-blocking socket in the thread's epoll set, bound on the
// address it is made for (every IPv4 interface by default; IPv4 or IPv6). Bind(0) releases
// the port; Send goes to the remote host and port; every datagram that arrives is handed to
// the receive handler with the sender's address (dotted for IPv4) and port. Main thread only.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Sockets.h"
#include "platform/qt/EventPoll.h"

namespace zq {

class TUdpEndpoint : public IUdpEndpoint, public IPollClient {
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
  uint16_t LocalPort() const { return localPort_; }
  // The reason the last Bind failed.
  const std::string& LastError() const { return lastError_; }

  void OnPollEvents(uint32_t events) override;

 private:
  void CloseSocket();

  std::shared_ptr<TEventPoll> poll_;
  int fd_ = -1;
  uint64_t key_ = 0;
  uint16_t localPort_ = 0;
  // Cleared by the destructor; lets a delivery notice that a handler destroyed the endpoint.
  std::shared_ptr<bool> alive_;
  UdpReceiveHandler handler_;
  std::string address_;
  sockaddr_storage remote_{};
  socklen_t remoteLength_ = 0;
  bool remoteValid_ = false;
  std::string lastError_;
};

std::unique_ptr<IUdpEndpoint> CreateUdpEndpoint(const std::string& address = "0.0.0.0");

}  // namespace zq

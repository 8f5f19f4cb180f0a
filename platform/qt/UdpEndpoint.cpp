#include "platform/qt/UdpEndpoint.h"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/qt/EventGuard.h"
#include "platform/qt/SocketAddress.h"

namespace zq {
namespace {

// Datagrams handed over per turn of the event loop; the rest wait for the next turn.
constexpr int DATAGRAMS_PER_TURN = 256;
constexpr std::size_t MAX_DATAGRAM = 65536;

}  // namespace

TUdpEndpoint::TUdpEndpoint(const std::string& address)
    : poll_(TEventPoll::ForThisThread()), alive_(std::make_shared<bool>(true)), address_(address) {}

TUdpEndpoint::~TUdpEndpoint() {
  *alive_ = false;
  CloseSocket();
}

void TUdpEndpoint::CloseSocket() {
  if (fd_ < 0) return;
  poll_->Remove(key_);
  ::close(std::exchange(fd_, -1));
  localPort_ = 0;
}

bool TUdpEndpoint::Bind(uint16_t localPort) {
  CloseSocket();
  lastError_.clear();
  if (localPort == 0) return true;
  sockaddr_storage local{};
  socklen_t length = 0;
  if (!ParseSocketAddress(address_, localPort, local, length)) {
    lastError_ = "\"" + address_ + "\" is not an IPv4 or IPv6 address";
    return false;
  }
  const int fd = ::socket(local.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    lastError_ = std::strerror(errno);
    return false;
  }
  const int on = 1;
  if (local.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0) {
    lastError_ = std::strerror(errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  localPort_ = localPort;
  key_ = poll_->Add(fd_, EPOLLIN, *this);
  return true;
}

void TUdpEndpoint::SetRemote(const std::string& host, uint16_t port) {
  remoteValid_ = port != 0 && ParseSocketAddress(host, port, remote_, remoteLength_);
}

void TUdpEndpoint::Send(std::string_view datagram) {
  // The hot path of every game broadcast: one sendto, the address parsed once in SetRemote.
  if (!remoteValid_ || fd_ < 0) return;
  ::sendto(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT,
           reinterpret_cast<const sockaddr*>(&remote_), remoteLength_);
}

void TUdpEndpoint::OnPollEvents(uint32_t) {
  std::shared_ptr<bool> alive = alive_;
  char buffer[MAX_DATAGRAM];
  for (int n = 0; n < DATAGRAMS_PER_TURN && fd_ >= 0; ++n) {
    sockaddr_storage sender{};
    socklen_t length = sizeof sender;
    const ssize_t size = ::recvfrom(fd_, buffer, sizeof buffer, MSG_DONTWAIT,
                                    reinterpret_cast<sockaddr*>(&sender), &length);
    if (size < 0) {
      if (errno == EINTR) continue;
      return;  // nothing more now (or an error the next datagram does not share)
    }
    UdpReceiveHandler handler = handler_;  // the handler may replace itself
    if (!handler) continue;
    uint16_t port = 0;
    const std::string from = SocketAddressText(sender, port);
    std::string bytes(buffer, static_cast<std::size_t>(size));
    RunGuarded("UDP receive", [&] { handler(*this, std::move(bytes), port, from); });
    if (!*alive) return;  // the handler destroyed this endpoint
  }
}

std::unique_ptr<IUdpEndpoint> CreateUdpEndpoint(const std::string& address) {
  return std::make_unique<TUdpEndpoint>(address);
}

}  // namespace zq

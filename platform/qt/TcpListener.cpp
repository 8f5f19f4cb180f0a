#include "platform/qt/TcpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"
#include "platform/qt/SocketAddress.h"
#include "platform/qt/TcpConnection.h"

namespace zq {
namespace {

// How many closed connections may hand their remaining output to the kernel at once, each
// within the linger time (beyond that they close at once). Output the kernel takes at once
// (a refusal, say) is handed over and the socket closed without waiting for the peer.
constexpr std::size_t MAX_LINGERING = 64;
constexpr int ACCEPTS_PER_TURN = 64;
constexpr int ACCEPT_PAUSE_MS = 100;            // out of descriptors: look again after this
constexpr int KERNEL_SEND_BUFFER = 128 * 1024;  // the kernel doubles it for its bookkeeping
constexpr int DRAIN_READS = 16;                 // of 4 KiB each, before a close

// Hands as much of `rest` to the kernel as it takes now; false when the socket has failed.
bool SendSome(int fd, std::string& rest) {
  while (!rest.empty()) {
    const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      rest.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

// Takes what the peer has sent and nobody will read; false once the peer's end has come.
bool Drain(int fd) {
  char discard[4096];
  for (int i = 0; i < DRAIN_READS; ++i) {
    const ssize_t n = ::recv(fd, discard, sizeof discard, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

// Everything is with the kernel: the end follows it, and input that waits unread is taken
// first, so that the close does not turn into a reset that could cost the peer the output.
void CloseAfterOutput(int fd) {
  ::shutdown(fd, SHUT_WR);
  Drain(fd);
  ::close(fd);
}

}  // namespace

// A closed connection's socket finishing its output, bounded in time; once the kernel has
// taken the rest, it closes.
class TTcpListener::TLinger : public QObject, public IPollClient {
 public:
  TLinger(TTcpListener& owner, int fd, std::string rest)
      : owner_(owner), fd_(fd), rest_(std::move(rest)) {
    key_ = owner_.poll_->Add(fd_, EPOLLIN | EPOLLOUT, *this);
    QTimer::singleShot(owner_.lingerMs_, this, [this] { owner_.Forget(*this); });
  }
  ~TLinger() override { Close(); }

  void Close() {
    if (fd_ < 0) return;
    owner_.poll_->Remove(key_);
    ::close(std::exchange(fd_, -1));
  }

  void OnPollEvents(uint32_t events) override {
    if (fd_ < 0) return;
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) && !Drain(fd_)) return owner_.Forget(*this);
    if (!SendSome(fd_, rest_)) return owner_.Forget(*this);
    if (!rest_.empty()) return;
    owner_.poll_->Remove(key_);
    CloseAfterOutput(std::exchange(fd_, -1));
    owner_.Forget(*this);
  }

 private:
  TTcpListener& owner_;
  int fd_;
  uint64_t key_ = 0;
  std::string rest_;
};

TTcpListener::TTcpListener() : poll_(TEventPoll::ForThisThread()) {}

TTcpListener::~TTcpListener() {
  Stop();
  lingering_.clear();  // what is still lingering closes now
}

void TTcpListener::Listen(uint16_t port, const std::string& host) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!ParseSocketAddress(host, port, address, length)) {
    throw EInOutError("Cannot listen on TCP port " + std::to_string(port) + ": \"" + host +
                      "\" is not an IPv4 or IPv6 address");
  }
  Stop();
  const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw EInOutError("Cannot listen on TCP port " + std::to_string(port) + ": " +
                      std::strerror(errno));
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (address.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(fd, SOMAXCONN) != 0) {
    const int error = errno;
    ::close(fd);
    throw EInOutError("Cannot listen on TCP port " + std::to_string(port) + " of " + host + ": " +
                      std::strerror(error));
  }
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  SocketAddressText(bound, port_);
  fd_ = fd;
  key_ = poll_->Add(fd_, EPOLLIN, *this);
}

void TTcpListener::Stop() {
  if (fd_ >= 0) {
    poll_->Remove(key_);
    ::close(fd_);
    fd_ = -1;
    port_ = 0;
  }
  auto live = std::move(live_);
  live_.clear();
  for (auto& [key, connection] : live) {
    connection->Drop();
    connection.release()->deleteLater();
  }
}

void TTcpListener::SetReadingPaused(bool paused) {
  if (paused == readingPaused_) return;
  readingPaused_ = paused;
  for (auto& [key, connection] : live_) connection->ReadingResumed();
}

void TTcpListener::OnPollEvents(uint32_t) {
  Accept();
}

void TTcpListener::Accept() {
  for (int i = 0; i < ACCEPTS_PER_TURN && fd_ >= 0; ++i) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd =
        ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE && CloseOneWaiting()) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of resources: the listener stays ready, so look again a little later.
        poll_->Modify(key_, 0);
        QTimer::singleShot(ACCEPT_PAUSE_MS, this, [this] {
          reserve_.Refill();
          if (fd_ >= 0) poll_->Modify(key_, EPOLLIN);
        });
      }
      return;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // small messages go at once
    // A fixed kernel send buffer: a reader that falls behind shows in the connection's own
    // bound soon, instead of after megabytes of autotuned kernel memory.
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &KERNEL_SEND_BUFFER, sizeof KERNEL_SEND_BUFFER);
    uint16_t port = 0;
    std::string address = SocketAddressText(peer, port);
    auto owned = std::make_unique<TTcpConnection>(*this, *poll_, fd, std::move(address), port);
    TTcpConnection& connection = *owned;
    live_.emplace(&connection, std::move(owned));
    Raise("connect", OnConnect, connection);
    if (connection.Closed()) continue;
    QMetaObject::invokeMethod(
        &connection,
        [this, &connection] {
          if (connection.Closed()) return;
          connection.BecomeWritable();
          Raise("write", OnWrite, connection);
        },
        Qt::QueuedConnection);
  }
}

bool TTcpListener::CloseOneWaiting() {
  if (!reserve_.Release()) return false;
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  if (fd >= 0) ::close(fd);
  reserve_.Refill();
  if (fd < 0) return false;
  uint16_t port = 0;
  const std::string address = SocketAddressText(peer, port);
  ConsoleDiagnostic("out of descriptors", address,
                    "Out of file descriptors: the connection from " + address + ":" +
                        std::to_string(port) + " was closed at once.");
  return true;
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
  owned.release()->deleteLater();
}

void TTcpListener::Linger(int fd, std::string rest) {
  if (!SendSome(fd, rest)) {
    ::close(fd);
    return;
  }
  if (rest.empty()) return CloseAfterOutput(fd);
  if (lingering_.size() >= MAX_LINGERING) {
    ::close(fd);
    return;
  }
  auto linger = std::make_unique<TLinger>(*this, fd, std::move(rest));
  const TLinger* key = linger.get();
  lingering_.emplace(key, std::move(linger));
}

void TTcpListener::Forget(TLinger& linger) {
  auto it = lingering_.find(&linger);
  if (it == lingering_.end()) return;
  std::unique_ptr<TLinger> owned = std::move(it->second);
  lingering_.erase(it);
  owned->Close();  // the object itself goes once control is back in the event loop
  owned.release()->deleteLater();
}

}  // namespace zq

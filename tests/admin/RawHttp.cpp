#include "tests/admin/RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace zq::test {

TRawHttp::TRawHttp(uint16_t port, const char* from, int receiveBuffer) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return;
  if (receiveBuffer > 0)
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, from, &local.sin_addr);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(port);
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      (::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 &&
       errno != EINPROGRESS))
    Close();
}

TRawHttp::~TRawHttp() {
  Close();
}

void TRawHttp::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::size_t TRawHttp::SendSome(std::string_view bytes) {
  if (fd_ < 0 || ended_ || bytes.empty()) return 0;
  const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ENOTCONN)
      ended_ = true;  // reset, broken pipe: the server is gone
    return 0;
  }
  sent_ += static_cast<std::size_t>(n);
  return static_cast<std::size_t>(n);
}

bool TRawHttp::SendAll(std::string_view bytes, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!bytes.empty()) {
    bytes.remove_prefix(SendSome(bytes));
    if (bytes.empty()) break;
    if (fd_ < 0 || ended_ || std::chrono::steady_clock::now() > until) return false;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, 10);
  }
  return true;
}

void TRawHttp::Read() {
  if (fd_ < 0 || ended_) return;
  char buffer[65536];
  for (int turn = 0; turn < 64; ++turn) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      received_.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ENOTCONN))
      ended_ = true;
    return;
  }
}

int TRawHttp::Status() {
  Read();
  if (received_.compare(0, 9, "HTTP/1.1 ") != 0 && received_.compare(0, 9, "HTTP/1.0 ") != 0)
    return 0;
  return received_.size() >= 12 ? std::stoi(received_.substr(9, 3)) : 0;
}

}  // namespace zq::test

#include "tests/support/NotifySocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <stdexcept>

namespace zq::test {

TNotifySocket::TNotifySocket(const std::string& name, bool abstract)
    : address_(abstract ? "@" + name : name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() + 1 >= sizeof address.sun_path) throw std::runtime_error("name too long");
  name.copy(address.sun_path + (abstract ? 1 : 0), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0)
    throw std::runtime_error("cannot bind the notify socket " + address_);
}

TNotifySocket::~TNotifySocket() {
  if (fd_ >= 0) ::close(fd_);
}

std::string TNotifySocket::Next(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) != 1) return "";
  char buffer[4096];
  const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
}

std::string TNotifySocket::NextStarting(const std::string& prefix, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    std::string m = Next(100);
    if (m.rfind(prefix, 0) == 0) return m;
    if (!m.empty()) skipped_.push_back(m);
  }
  return "";
}

}  // namespace zq::test

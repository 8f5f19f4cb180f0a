#include "tests/platform/QtTestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <memory>

namespace zq::test {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

uint16_t BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

}  // namespace

void EnsureApp() {
  static int argc = 1;
  static char name[] = "platform_tests";
  static char* argv[] = {name, nullptr};
  static auto app = std::make_unique<QCoreApplication>(argc, argv);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  EnsureApp();
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ::poll(nullptr, 0, 1);
  }
  return true;
}

void PumpFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  PumpUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

TestClient::~TestClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool TestClient::Connect(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  sockaddr_in address = Loopback(port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS) return false;
  bool ready = PumpUntil([&] {
    pollfd p{fd_, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1;
  });
  int err = 0;
  socklen_t length = sizeof err;
  ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length);
  return ready && err == 0;
}

uint16_t TestClient::LocalPort() const {
  return BoundPort(fd_);
}

bool TestClient::Send(const std::string& bytes) {
  std::size_t sent = 0;
  return PumpUntil([&] {
           ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
           if (n > 0) sent += static_cast<std::size_t>(n);
           return sent == bytes.size() || (n < 0 && errno != EAGAIN);
         }) &&
         sent == bytes.size();
}

void TestClient::Poll() {
  char buffer[65536];
  for (int round = 0; round < 1024 && !eof && error == 0; ++round) {
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      received.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      eof = true;
    } else {
      if (errno != EAGAIN) error = errno;
      return;
    }
  }
}

bool TestClient::WaitForBytes(std::size_t count, int timeoutMs) {
  return PumpUntil(
             [&] {
               Poll();
               return received.size() >= count || eof || error != 0;
             },
             timeoutMs) &&
         received.size() >= count;
}

bool TestClient::WaitForClose(int timeoutMs) {
  return PumpUntil(
      [&] {
        Poll();
        return eof || error != 0;
      },
      timeoutMs);
}

void TestClient::SetSmallReceiveBuffer() {
  int size = 4096;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void TestClient::CloseOrderly() {
  ::close(fd_);
  fd_ = -1;
}

void TestClient::CloseWithReset() {
  linger option{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  ::close(fd_);
  fd_ = -1;
}

TestUdp::TestUdp() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  port_ = BoundPort(fd_);
}

TestUdp::~TestUdp() {
  ::close(fd_);
}

bool TestUdp::SendTo(uint16_t port, const std::string& datagram) {
  sockaddr_in address = Loopback(port);
  return ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address),
                  sizeof address) == static_cast<ssize_t>(datagram.size());
}

bool TestUdp::Receive(std::string& datagram, int timeoutMs) {
  char buffer[65536];
  return PumpUntil(
      [&] {
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0) return false;
        datagram.assign(buffer, static_cast<std::size_t>(n));
        return true;
      },
      timeoutMs);
}

}  // namespace zq::test

#include "tests/support/HeldPort.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zq::test {

THeldPort::THeldPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(fd_, 1) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
    ADD_FAILURE() << "cannot hold a port";
  port_ = ntohs(a.sin_port);
}

THeldPort::~THeldPort() {
  Release();
}

void THeldPort::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace zq::test

#include "tests/support/UdpPortRange.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zq::test {
namespace {

constexpr int FIRST_BASE = 10048;  // ranges of 64 between here and the ephemeral range
constexpr int RANGES = 340;

// A UDP socket bound exclusively to `port` on every IPv4 address, or -1.
int BindUdp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool AllFree(uint16_t base) {
  for (int n = 1; n < 64; ++n) {
    int fd = BindUdp(static_cast<uint16_t>(base + n));
    if (fd < 0) return false;
    ::close(fd);
  }
  return true;
}

}  // namespace

TUdpPortRange::TUdpPortRange() {
  const int start = static_cast<int>(::getpid()) % RANGES;  // spread the programs out
  for (int i = 0; i < RANGES; ++i) {
    const auto base = static_cast<uint16_t>(FIRST_BASE + 64 * ((start + i) % RANGES));
    int fd = BindUdp(base);
    if (fd < 0) continue;  // another program holds this range
    if (!AllFree(base)) {
      ::close(fd);
      continue;
    }
    lockFd_ = fd;
    base_ = base;
    return;
  }
  throw std::runtime_error("no free UDP port range for the test");
}

TUdpPortRange::~TUdpPortRange() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

}  // namespace zq::test

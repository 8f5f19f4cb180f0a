#include "platform/qt/SocketAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace zq {

bool ParseSocketAddress(const std::string& host, uint16_t port, sockaddr_storage& address,
                        socklen_t& length) {
  address = sockaddr_storage{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof *v4;
    return true;
  }
  if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof *v6;
    return true;
  }
  length = 0;
  return false;
}

std::string SocketAddressText(const sockaddr_storage& address, uint16_t& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(address);
    port = ntohs(a.sin_port);
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
  }
  const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
  port = ntohs(a.sin6_port);
  if (IN6_IS_ADDR_V4MAPPED(&a.sin6_addr)) {
    ::inet_ntop(AF_INET, &a.sin6_addr.s6_addr[12], text, sizeof text);
    return text;
  }
  ::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
  return text;
}

}  // namespace zq

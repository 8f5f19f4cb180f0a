#include "tools/client/HostAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

#include "platform/Errors.h"

namespace zq {

uint32_t ResolveIPv4(const std::string& host) {
  if (host.empty()) throw EConvertError("no server host given");
  in_addr numeric{};
  if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) return numeric.s_addr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found)
    throw EConvertError("cannot resolve '" + host + "' to an IPv4 address: " + gai_strerror(rc));
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> hold(found, freeaddrinfo);
  return reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
}

std::string IPv4Text(uint32_t addressNet) {
  char buf[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = addressNet;
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

}  // namespace zq

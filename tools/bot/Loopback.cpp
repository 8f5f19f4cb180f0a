#include "tools/bot/Loopback.h"

#include <arpa/inet.h>

#include "platform/Errors.h"

namespace zq {

uint32_t ParseLoopbackAddress(const std::string& host) {
  std::string text = host == "localhost" ? "127.0.0.1" : host;
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1)
    throw EConvertError("'" + host + "' is not a dotted IPv4 address");
  if ((ntohl(a.s_addr) >> 24) != 127)
    throw EConvertError("'" + host + "' is not a loopback address (only 127.0.0.0/8 is allowed)");
  return a.s_addr;
}

}  // namespace zq

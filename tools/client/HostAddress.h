// The server's address: a dotted IPv4 address, or a name resolved to its first IPv4 address.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

// The address in network byte order. Throws EConvertError naming the host when it is empty
// or does not resolve to an IPv4 address.
uint32_t ResolveIPv4(const std::string& host);
std::string IPv4Text(uint32_t addressNet);  // "127.0.0.1"

}  // namespace zq

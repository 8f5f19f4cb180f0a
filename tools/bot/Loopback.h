// Loopback addresses: the client talks only to 127.0.0.0/8.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

// The address in network byte order. "localhost" is 127.0.0.1. Throws EConvertError for text
// that is not a dotted IPv4 address, or for an address outside 127.0.0.0/8.
uint32_t ParseLoopbackAddress(const std::string& host);

}  // namespace zq

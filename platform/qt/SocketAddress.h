// Socket addresses of IPv4 and IPv6: from text and a port, and back to text (an IPv4-mapped
// IPv6 address as its dotted IPv4 form, so a client has one address whichever way it came).
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace zq {

// Fills `address` and `length` for `host` (IPv4 or IPv6 text) and `port`; false when `host`
// is neither.
bool ParseSocketAddress(const std::string& host, uint16_t port, sockaddr_storage& address,
                        socklen_t& length);

// The address as text; `port` receives its port.
std::string SocketAddressText(const sockaddr_storage& address, uint16_t& port);

}  // namespace zq

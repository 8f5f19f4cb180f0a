// Where the admin API listens: "ADDRESS:PORT" with an IPv4 address, or "[ADDRESS]:PORT" with
// an IPv6 one; port 0 takes any free port. And the address of a proxy in front of it.
#pragma once

#include <QHostAddress>
#include <cstdint>
#include <string>

namespace zq {

struct TAdminAddress {
  QHostAddress Address;
  uint16_t Port = 0;
};

// Raises EConvertError in the words "<what>: '<text>' ...".
TAdminAddress AdminAddressOf(const std::string& text, const std::string& what);

// An IP address without a port, as the text of QHostAddress: "127.0.0.1", "::1". Raises
// EConvertError in the words "<what>: '<text>' is not an IP address".
std::string AdminProxyOf(const std::string& text, const std::string& what);

// "127.0.0.1:8080", "[::1]:8080".
std::string AdminAddressText(const QHostAddress& address, uint16_t port);

}  // namespace zq

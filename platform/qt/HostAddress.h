// Address text for the server: IPv4 addresses as dotted decimal, IPv4-mapped IPv6 addresses
// (::ffff:a.b.c.d) reduced to their IPv4 form; other addresses in Qt's own notation.
#pragma once

#include <QHostAddress>
#include <string>

namespace zq {

std::string DottedAddress(const QHostAddress& address);

}  // namespace zq

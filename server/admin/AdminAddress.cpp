#include "server/admin/AdminAddress.h"

#include "platform/Errors.h"
#include "platform/StrToInt.h"

namespace zq {

TAdminAddress AdminAddressOf(const std::string& text, const std::string& what) {
  auto fail = [&](const std::string& why) -> TAdminAddress {
    throw EConvertError(what + ": '" + text + "' " + why);
  };
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return fail("is not ADDRESS:PORT");
  std::string host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  else if (host.find(':') != std::string::npos)
    return fail("has an IPv6 address without [brackets]");
  TAdminAddress result;
  if (!result.Address.setAddress(QString::fromStdString(host)))
    return fail("does not begin with an IP address");
  int32_t port = -1;
  try {
    port = StrToInt(text.substr(colon + 1));
  } catch (const EConvertError&) {
  }
  if (port < 0 || port > 0xFFFF) return fail("does not end in a port (0 to 65535)");
  result.Port = static_cast<uint16_t>(port);
  return result;
}

std::string AdminProxyOf(const std::string& text, const std::string& what) {
  QHostAddress address;
  if (text.find_first_of(" []") != std::string::npos ||
      !address.setAddress(QString::fromStdString(text)))
    throw EConvertError(what + ": '" + text + "' is not an IP address");
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) address = QHostAddress(v4);
  return address.toString().toStdString();
}

std::string AdminAddressText(const QHostAddress& address, uint16_t port) {
  const std::string host = address.toString().toStdString();
  const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace zq

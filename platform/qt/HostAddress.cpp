#include "platform/qt/HostAddress.h"

namespace zq {

std::string DottedAddress(const QHostAddress& address) {
  bool isV4 = false;
  quint32 v4 = address.toIPv4Address(&isV4);
  if (isV4) return QHostAddress(v4).toString().toStdString();
  return address.toString().toStdString();
}

}  // namespace zq

#include "server/ServerStatus.h"

#include "accounts/AccountStore.h"

namespace zq {

const TConnectionStatus* TServerStatus::Connection(int32_t s) const {
  for (const TConnectionStatus& c : Connections)
    if (c.SocketID == s) return &c;
  return nullptr;
}

const TConnectionStatus* TServerStatus::ConnectionOf(uint32_t guid) const {
  if (guid == 0) return nullptr;
  for (const TConnectionStatus& c : Connections)
    if (c.GUID == guid) return &c;
  return nullptr;
}

const TConnectionStatus* TServerStatus::PlayerNamed(std::string_view name) const {
  for (const TConnectionStatus& c : Connections)
    if (c.InGame && SameName(c.PlayerName, name)) return &c;
  return nullptr;
}

}  // namespace zq

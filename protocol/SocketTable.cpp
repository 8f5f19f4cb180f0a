#include "protocol/SocketTable.h"

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {

int32_t TSocketTable::AddSocket(ITcpConnection& connection) {
  int32_t s = 1;
  while (s < NOT_FOUND && !entries_[s].Address.empty()) ++s;
  if (s > MAX_SOCKETS) InternalCheckFailed("CNT > MAX_SOCKETS in AddSocket", "ZQPROTOCOL");
  TSocketID& e = entries_[s];
  e.Socket = &connection;
  e.Address = connection.RemoteAddress();
  e.Port = connection.RemotePort();
  return s;
}

bool TSocketTable::HasFreeEntry() const {
  for (int32_t s = 1; s <= MAX_SOCKETS; ++s)
    if (entries_[s].Address.empty()) return true;
  return false;
}

void TSocketTable::RemoveSocket(const ITcpConnection& connection) {
  int32_t s = 1;
  while (s < NOT_FOUND && entries_[s].Socket != &connection) ++s;
  TSocketID& e = entries_[s];
  e.Socket = nullptr;
  e.Address.clear();
  e.Port = 0;
  e.UDPPort = 0;
  e.GUID.store(0, std::memory_order_relaxed);
}

int32_t TSocketTable::FindByAddress(std::string_view address, uint16_t port) const {
  for (int32_t s = 1; s < NOT_FOUND; ++s)
    if (entries_[s].Port == port && entries_[s].Address == address) return s;
  ConsoleLine("Address not in socket table!");
  return NOT_FOUND;
}

int32_t TSocketTable::FindByUDP(const IUdpEndpoint* endpoint) const {
  if (endpoint)
    for (int32_t s = 1; s < NOT_FOUND; ++s)
      if (entries_[s].UDP.get() == endpoint) return s;
  ConsoleLine("UDP not in sockets table!");
  return NOT_FOUND;
}

int32_t TSocketTable::FindByGUID(uint32_t guid) const {
  for (int32_t s = 1; s < NOT_FOUND; ++s)
    if (GuidOf(s) == guid) return s;
  ConsoleLine("GUID not in sockets table!");
  return NOT_FOUND;
}

void TSocketTable::Clear() {
  for (TSocketID& e : entries_) {
    e.Socket = nullptr;
    e.UDP.reset();
    e.Address.clear();
    e.Port = 0;
    e.UDPPort = 0;
    e.GUID.store(0, std::memory_order_relaxed);
  }
}

}  // namespace zq

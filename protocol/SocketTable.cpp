#include "protocol/SocketTable.h"

#include <utility>

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {
namespace {

template <std::size_t... I>
std::array<TSocketID, sizeof...(I)> MakeNumbered(std::index_sequence<I...>) {
  return {TSocketID(static_cast<int32_t>(I) + 1)...};
}

}  // namespace

std::array<TSocketID, MAX_SOCKETS> TSocketTable::Numbered() {
  return MakeNumbered(std::make_index_sequence<MAX_SOCKETS>());
}

TSocketTable::TSocketTable() : entries_(Numbered()) {
  for (TSocketID& e : entries_) e.Traffic = &traffic_;
}

TSocketID& TSocketTable::AddSocket(ITcpConnection& connection) {
  owner_.Check();
  for (TSocketID& e : entries_) {
    if (e.InUse()) continue;
    e.Reset();
    e.Socket = &connection;
    e.Address = connection.RemoteAddress();
    e.Port = connection.RemotePort();
    e.Serial = ++lastSerial_;
    connection.SetOwnerData(&e);
    return e;
  }
  InternalCheckFailed("CNT > MAX_SOCKETS in AddSocket", "ZQPROTOCOL");
}

bool TSocketTable::HasFreeEntry() const {
  for (const TSocketID& e : entries_)
    if (!e.InUse()) return true;
  return false;
}

void TSocketTable::RemoveSocket(const ITcpConnection& connection) {
  owner_.Check();
  if (TSocketID* e = RecordOf(connection)) e->Reset();
}

TSocketID* TSocketTable::RecordOf(const ITcpConnection& connection) {
  auto* record = static_cast<TSocketID*>(connection.OwnerData());
  // Only this table's records are handed out as owner data.
  if (record && (record < begin() || record >= end())) return nullptr;
  return record;
}

TSocketID* TSocketTable::FindByAddress(std::string_view address, uint16_t port) {
  owner_.Check();
  for (TSocketID& e : entries_)
    if (e.InUse() && e.Port == port && e.Address == address) return &e;
  ConsoleDiagnostic("no address", "Address not in socket table!");
  return nullptr;
}

TSocketID* TSocketTable::FindByUDP(const IUdpEndpoint* endpoint) {
  owner_.Check();
  if (endpoint)
    for (TSocketID& e : entries_)
      if (e.UDP.get() == endpoint) return &e;
  ConsoleDiagnostic("no udp", "UDP not in sockets table!");
  return nullptr;
}

TSocketID* TSocketTable::FindByGUID(uint32_t guid) {
  return const_cast<TSocketID*>(std::as_const(*this).FindByGUID(guid));
}

const TSocketID* TSocketTable::FindByGUID(uint32_t guid) const {
  owner_.Check();
  if (guid != 0)
    for (const TSocketID& e : entries_)
      if (e.InUse() && e.GUID.load(std::memory_order_relaxed) == guid) return &e;
  ConsoleDiagnostic("no guid", "GUID not in sockets table!");
  return nullptr;
}

int TSocketTable::CountAddress(std::string_view address) const {
  int n = 0;
  for (const TSocketID& e : entries_) n += e.InUse() && e.Address == address;
  return n;
}

void TSocketTable::BindGUID(int32_t s, uint32_t guid) {
  (*this)[s].GUID.store(guid, std::memory_order_relaxed);
}

uint32_t TSocketTable::GuidOf(int32_t s) const {
  if (s < 1 || s > MAX_SOCKETS) return 0;
  return entries_[s - 1].GUID.load(std::memory_order_relaxed);
}

TSocketID& TSocketTable::operator[](int32_t s) {
  owner_.Check();
  if (s < 1 || s > MAX_SOCKETS)
    InternalCheckFailed("Socket number " + std::to_string(s) + " out of range", "ZQPROTOCOL");
  return entries_[s - 1];
}

const TSocketID& TSocketTable::operator[](int32_t s) const {
  if (s < 1 || s > MAX_SOCKETS)
    InternalCheckFailed("Socket number " + std::to_string(s) + " out of range", "ZQPROTOCOL");
  return entries_[s - 1];
}

void TSocketTable::Clear() {
  owner_.Check();
  for (TSocketID& e : entries_) e.Reset();
}

}  // namespace zq

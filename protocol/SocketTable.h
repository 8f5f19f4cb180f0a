// The socket table: one TSocketID record for each socket number 1..63. Numbers are handed out
// lowest free first; lookups give the record or none. Main thread only (checked in debug
// builds), except GuidOf, which any thread may read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ThreadAffinity.h"
#include "protocol/ConnectionState.h"

namespace zq {

constexpr int32_t MAX_SOCKETS = 63;

class TSocketTable {
 public:
  TSocketTable();
  TSocketTable(const TSocketTable&) = delete;
  TSocketTable& operator=(const TSocketTable&) = delete;

  // Takes the lowest free number for the connection: its record starts afresh (Reset) with
  // the connection, its address and port and a new serial, and the connection carries it
  // (OwnerData) until the record is freed. Raises EInternalCheck
  // "CNT > MAX_SOCKETS in AddSocket" (ZQPROTOCOL) when 1..63 are all in use.
  TSocketID& AddSocket(ITcpConnection& connection);
  // True while some number is free, so AddSocket would succeed.
  bool HasFreeEntry() const;
  // Frees the record holding the connection (Reset); nothing when none holds it.
  void RemoveSocket(const ITcpConnection& connection);
  // The record an admitted connection carries; none for a connection without one.
  TSocketID* RecordOf(const ITcpConnection& connection);

  // The record of a connection, an endpoint or a bound GUID; none (with a console line) when
  // no record in use matches.
  TSocketID* FindByAddress(std::string_view address, uint16_t port);
  TSocketID* FindByUDP(const IUdpEndpoint* endpoint);
  TSocketID* FindByGUID(uint32_t guid);
  const TSocketID* FindByGUID(uint32_t guid) const;
  // Connections in use from `address`.
  int CountAddress(std::string_view address) const;

  void BindGUID(int32_t s, uint32_t guid);
  // The GUID bound to number s (0 for none or a number out of range); any thread.
  uint32_t GuidOf(int32_t s) const;

  // Record s, 1..63 (EInternalCheck otherwise).
  TSocketID& operator[](int32_t s);
  const TSocketID& operator[](int32_t s) const;

  TSocketID* begin() { return entries_.data(); }
  TSocketID* end() { return entries_.data() + entries_.size(); }
  const TSocketID* begin() const { return entries_.data(); }
  const TSocketID* end() const { return entries_.data() + entries_.size(); }

  // Frees every record.
  void Clear();

  // Messages and bytes of all the table's connections.
  TTrafficCounters& Traffic() { return traffic_; }
  const TTrafficCounters& Traffic() const { return traffic_; }

 private:
  static std::array<TSocketID, MAX_SOCKETS> Numbered();

  TTrafficCounters traffic_;
  std::array<TSocketID, MAX_SOCKETS> entries_;  // number s at index s - 1
  uint64_t lastSerial_ = 0;
  TThreadAffinity owner_;
};

}  // namespace zq

// The socket table: socket numbers 1..63 for client connections, 64 (NOT_FOUND) for every
// failed lookup. Main thread only, except GuidOf, which any thread may read.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Sockets.h"

namespace zq {

constexpr int32_t MAX_SOCKETS = 63;
constexpr int32_t NOT_FOUND = 64;

struct TSocketID {
  ITcpConnection* Socket = nullptr;   // none when the entry is free
  std::unique_ptr<IUdpEndpoint> UDP;  // the client's UDP endpoint, once announced
  std::string Address;                // empty marks a free entry
  uint16_t Port = 0;
  uint16_t UDPPort = 0;
  std::atomic<uint32_t> GUID{0};  // written on the main thread, read by the game thread
};

class TSocketTable {
 public:
  // Takes the lowest free number for the connection. Raises EInternalCheck
  // "CNT > MAX_SOCKETS in AddSocket" (ZQPROTOCOL) when 1..63 are all in use.
  int32_t AddSocket(ITcpConnection& connection);
  // True while some number from 1 to 63 is free, so AddSocket would succeed.
  bool HasFreeEntry() const;
  // Frees the entry holding the connection (its GUID binding too).
  void RemoveSocket(const ITcpConnection& connection);
  int32_t FindByAddress(std::string_view address, uint16_t port) const;
  int32_t FindByUDP(const IUdpEndpoint* endpoint) const;
  int32_t FindByGUID(uint32_t guid) const;
  void BindGUID(int32_t s, uint32_t guid) {
    entries_[s].GUID.store(guid, std::memory_order_relaxed);
  }
  uint32_t GuidOf(int32_t s) const { return entries_[s].GUID.load(std::memory_order_relaxed); }

  // Entry s, 1..64.
  TSocketID& operator[](int32_t s) { return entries_[s]; }
  const TSocketID& operator[](int32_t s) const { return entries_[s]; }

  // Empties all 64 entries (destroying any UDP endpoint still held).
  void Clear();

 private:
  std::array<TSocketID, NOT_FOUND + 1> entries_;  // index 0 unused
};

}  // namespace zq

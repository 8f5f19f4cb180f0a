// Per-connection state, in tables of 64 entries indexed by socket number (1..63 clients,
// 64 the spare of every failed lookup), together with the socket table. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/SocketTable.h"

namespace zq {

constexpr uint32_t BEAT_INTERVAL = 3000;  // ms
constexpr uint8_t BEAT_MISS_LIMIT = 5;

struct TLoginRecord {
  bool InGame = false;
  std::string UserName;
  std::string Password;
  uint16_t ClientCode = 0;
};

struct THeartbeatRecord {
  uint8_t AckedSeq = 0;
  uint8_t Seq = 0;
  uint32_t SentAt = 0;
  uint32_t RoundTrip = 0;
  uint8_t Missed = 0;
  uint8_t UDPActive = 0;
};

template <typename T>
using PerSocket = std::array<T, NOT_FOUND + 1>;  // index 0 unused

struct TServerTables {
  TSocketTable Sockets;
  PerSocket<std::string> ReceiveBuffer;
  PerSocket<uint8_t> CanWrite{};
  PerSocket<std::string> PendingOut;
  PerSocket<TLoginRecord> LoginRecord;
  PerSocket<THeartbeatRecord> HeartbeatRecord;

  // Empties the socket table and every per-connection entry.
  void Clear() {
    Sockets.Clear();
    for (int s = 0; s <= NOT_FOUND; ++s) {
      ReceiveBuffer[s].clear();
      CanWrite[s] = 0;
      PendingOut[s].clear();
      LoginRecord[s] = TLoginRecord{};
      HeartbeatRecord[s] = THeartbeatRecord{};
    }
  }
};

}  // namespace zq

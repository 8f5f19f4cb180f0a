// TServerStatus: what a running server shows, read at one moment: its identity, the
// connection counts, the players, each connection, the queues and every counter. The admin
// API, the metrics and the window read it instead of reaching into the server's parts. A
// stopped server gives Running false and empty figures. A plain value: any thread may hold
// one; it is made on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "game/PlayerSnapshot.h"
#include "platform/Histogram.h"
#include "protocol/TrafficCounters.h"
#include "server/ServerCounters.h"

namespace zq {

// One admitted connection.
struct TConnectionStatus {
  int32_t SocketID = 0;
  uint32_t GUID = 0;  // 0 until the game has bound its player
  std::string Address;
  uint16_t Port = 0;
  std::string LoginName;   // as the client sent it
  std::string PlayerName;  // the name it plays under, once in the game
  bool InGame = false;
  bool Admin = false;
  std::optional<uint32_t> RoundTripMs;  // once a BEATACK has been accepted
  uint32_t AcceptedAt = 0;              // tick count of the admission
};

struct TQueueStatus {
  std::size_t Depth = 0;
  uint64_t Refused = 0;  // messages the full queue refused
};

struct TServerStatus {
  bool Running = false;
  bool Paused = false;
  std::string ServerName;
  std::string GameIdentity;
  std::string GameDirectory;
  std::string DataDirectory;
  std::chrono::system_clock::time_point StartedAt;
  uint16_t ListeningPort = 0;
  int32_t Connected = 0;
  int32_t PeakConnected = 0;
  int32_t MaxClients = 0;
  // The players in the game as the game manager last published them; never null.
  std::shared_ptr<const TPlayerSnapshotList> Players =
      std::make_shared<const TPlayerSnapshotList>();
  std::vector<TConnectionStatus> Connections;  // in socket number order
  TServerCounters Counters;
  TTrafficCounters Traffic;
  uint64_t Unaddressed = 0;  // messages for a GUID nobody held, not even a departing player
  uint64_t RateLimited = 0;  // game messages dropped by a connection's message budget
  std::optional<TQueueStatus> GameQueue, DispatchQueue;
  std::optional<TDurationHistogram::TSnapshot> UpdateDurations;  // of UpdatePlayers
  std::optional<TDurationHistogram::TSnapshot> BeatRoundTrips;   // BEAT to its BEATACK
  std::optional<TDurationHistogram::TSnapshot> LoginChecks;      // the login worker's decisions

  // The connection of socket number s, or of the player with `guid`; none when there is none.
  const TConnectionStatus* Connection(int32_t s) const;
  const TConnectionStatus* ConnectionOf(uint32_t guid) const;
  // The connection in the game under `name` (letter case of A to Z aside), or none.
  const TConnectionStatus* PlayerNamed(std::string_view name) const;
};

}  // namespace zq

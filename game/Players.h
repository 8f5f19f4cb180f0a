// TServerPlayerManager: the table of players in the game (FPlayers) with joining, leaving,
// speech and movement (PlayerMovement.cpp). Every event becomes messages for the players
// within view, posted to the dispatch queue. Game manager thread only; the table has no lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/GameEvents.h"
#include "game/GameTimer.h"
#include "game/GuidManager.h"
#include "game/PlayerSnapshot.h"
#include "protocol/GameMessage.h"
#include "protocol/GameMessenger.h"
#include "protocol/SocketTable.h"
#include "world/Blocking.h"

namespace zq {

constexpr int32_t MAX_PLAYERS = 1024;  // also the "not found" slot number
constexpr int32_t VIEW_RANGE_X = 120;
constexpr int32_t VIEW_RANGE_Y = 75;
constexpr uint32_t SPEECH_TIME = 5000;  // ms
constexpr std::size_t MAX_NAME_LEN = 47;
constexpr std::size_t MAX_SPEECH_LEN = 99;
constexpr int32_t MOVE_STEP_RATE = 4;         // game-clock steps per second
constexpr uint32_t MOVE_STEP_MS = 250;        // one step: one tile at walking speed
constexpr uint32_t MAX_CATCH_UP_STEPS = 240;  // most steps one update applies (a minute)
constexpr uint8_t MOVE_FLAG_MOVING = 0x01;
constexpr uint32_t DISPATCH_ROOM_WAIT_MS = 100;       // one wait for room in the dispatch queue
constexpr uint32_t DISPATCH_ROOM_PATIENCE_MS = 2000;  // all the waits for one hand-over
constexpr std::size_t FLUSH_CHUNK = 256;              // messages handed over per push at most

struct PlayerRecord {
  std::string Name;      // at most 47
  std::string Password;  // at most 47
  uint16_t ClientCode = 0;
  uint32_t LastMove = 0;
  uint16_t Z = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
  uint8_t StateByte = 0;
  uint8_t Facing = 0;
  uint8_t MoveFlags = 0;
  int16_t StopX = 0;
  int16_t StopY = 0;
  double DirX = 0;
  double DirY = 0;
  float Speed = 0;
  double PosX = 0;
  double PosY = 0;
  uint32_t GUID = 0;
  int32_t SocketID = 0;
  uint64_t Serial = 0;     // the connection that started this player
  std::string SpeechText;  // at most 99
  uint32_t SpeechUntil = 0;
  std::array<uint8_t, 256> Keys{};
};

class TServerPlayerManager {
 public:
  // `sockets` gives the GUID bound to a socket number (GuidOf); spawn values are cut to 16 bits.
  TServerPlayerManager(TGUIDManager& guids, TGameTimer& timer, TGameMessenger& dispatchQueue,
                       const TSocketTable& sockets, const IBlockingMap& map, int32_t spawnX,
                       int32_t spawnY);
  TServerPlayerManager(const TServerPlayerManager&) = delete;
  TServerPlayerManager& operator=(const TServerPlayerManager&) = delete;

  // Told of every join, departure and speech, on the game manager thread; set before the
  // thread starts.
  void SetEventSink(TGameEventSink sink) { eventSink_ = std::move(sink); }

  // Slot of the player with `guid`, or MAX_PLAYERS (with a console line).
  int32_t getNumfromGUID(uint32_t guid) const;

  // A player joins for the connection `socketId` with serial `serial`; returns its new GUID.
  // A connection that has a player already gets no second one: one console line, nothing
  // sent, and 0 is returned.
  uint32_t AddPlayer(int32_t socketId, const std::string& name, uint16_t clientCode,
                     const std::string& password, uint64_t serial = 0);
  // The player of connection `socketId` leaves; its GUID binding is released after the
  // messages already posted for it. Raises EInternalCheck (Players) when none.
  void removePlayer(int32_t socketId);
  // The player of socket `socketId` speaks `text` (cut to 99) for `duration` ms.
  void Say(int32_t socketId, const std::string& text, uint32_t duration);
  // The player of connection `serial` alone gets `text` (cut to 99) as its own speech;
  // nothing is stored or relayed. Nothing happens when that connection has no player.
  void SayTo(uint64_t serial, const std::string& text, uint32_t duration);

  // Addresses `message` to each player within view of `guid` (that player too when
  // `includeSelf`), in slot order, as one message with those recipients.
  void SendToNearby(uint32_t guid, GameMessagePtr message, bool includeSelf);
  // Sends `guid` one PlayerInfo for every other player within its view.
  void SendNearbyPlayersTo(uint32_t guid);

  // The operations compose their messages here; Flush hands them all to the dispatch queue,
  // in order, in as few pushes as the queue's room allows (the game thread calls it after
  // each batch of game messages).
  void Flush();

  // Movement. `type` is KeyDown or KeyUp.
  void HandleKey(int32_t socketId, uint32_t type, const MSKey& key);
  // Advances every moving player to the next 250 ms step of the game clock, one step at a
  // time (at most MAX_CATCH_UP_STEPS), stopping at blocked tiles.
  void UpdatePlayers();

  // Payloads, composed from a record.
  static std::string PlayerInfoPayload(const PlayerRecord& p);
  std::string PlayerMotionPayload(const PlayerRecord& p);

  uint16_t PlayerCount() const { return playerCount_; }
  // Slot `slot` (0..1023), or null when empty.
  const PlayerRecord* Player(int32_t slot) const;
  // Counts every change of the table's snapshot fields (join, leave, a new X or Y).
  uint64_t Revision() const { return revision_; }
  // GUID, name, socket number, X, Y of every player, in slot order.
  TPlayerSnapshotList TakeSnapshot() const;

 private:
  PlayerRecord* BySocketGuid(int32_t socketId);
  // Composes a message for player `to` (its GUID; its connection for AssignGUID and ReleaseGUID).
  void Post(uint32_t type, const PlayerRecord& to, std::string_view payload);
  // Moves a walking player by `ms` milliseconds of its motion (at most one step).
  void Advance(PlayerRecord& p, uint32_t ms);
  // Calls f(record) for every occupied slot in slot order, stopping once PlayerCount
  // records have been seen.
  template <typename F>
  void ForEachPlayer(F&& f) const {
    int seen = 0;
    for (int32_t i = 0; i < MAX_PLAYERS && seen < playerCount_; ++i) {
      if (PlayerRecord* r = players_[i].get()) {
        ++seen;
        f(*r);
      }
    }
  }
  static bool WithinView(const PlayerRecord& a, const PlayerRecord& b);
  void Tell(TGameEvent::TKind kind, const PlayerRecord& p, std::string text = {});

  TGUIDManager& guids_;
  TGameTimer& timer_;
  TGameMessenger& dispatch_;
  const TSocketTable& sockets_;
  const IBlockingMap& map_;
  uint16_t spawnX_;
  uint16_t spawnY_;
  std::array<std::unique_ptr<PlayerRecord>, MAX_PLAYERS> players_;  // FPlayers
  std::vector<GameMessagePtr> outgoing_;  // composed, not yet handed to the dispatch queue
  uint16_t playerCount_ = 0;
  uint64_t revision_ = 0;
  TGameEventSink eventSink_;
};

// A message from the server: SocketID -1, addressed to `guid`.
GameMessagePtr MakeServerMessage(uint32_t type, uint32_t guid, int32_t targetSocket,
                                 std::string_view payload);

}  // namespace zq

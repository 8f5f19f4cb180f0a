// Shared pieces of the game tests: a fake clock, a fake blocking map that records its calls,
// and a small world (allocator, clock, queues, socket table, player manager).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "game/GameTimer.h"
#include "game/GuidManager.h"
#include "game/Players.h"
#include "platform/Clock.h"
#include "protocol/GameMessenger.h"
#include "protocol/MessageCodes.h"
#include "protocol/SocketTable.h"
#include "tests/support/Bytes.h"
#include "tests/support/FakeClock.h"
#include "world/Blocking.h"

namespace zq::test {

// Blocks every candidate tile whose x lies in [blockFromX, blockToX]; records each question.
class FakeMap : public IBlockingMap {
 public:
  struct Call {
    char axis;
    int32_t curX, curY, x, y;
    bool operator==(const Call&) const = default;
  };
  int32_t blockFromX = -1000000;
  int32_t blockToX = -1000000;
  mutable std::vector<Call> calls;
  bool record = true;

  bool IsBlockedX(int32_t curX, int32_t curY, int32_t x, int32_t y) const override {
    if (record) calls.push_back({'x', curX, curY, x, y});
    return x >= blockFromX && x <= blockToX;
  }
  bool IsBlockedY(int32_t curX, int32_t curY, int32_t x, int32_t y) const override {
    if (record) calls.push_back({'y', curX, curY, x, y});
    return x >= blockFromX && x <= blockToX;
  }
};

inline MSKey MakeKey(uint8_t key, uint16_t tx = 0, uint16_t ty = 0, uint32_t value = 0) {
  MSKey k;
  k.Bytes[0] = 0xEE;  // not read
  k.Bytes[1] = key;
  k.Bytes[2] = static_cast<uint8_t>(tx);
  k.Bytes[3] = static_cast<uint8_t>(tx >> 8);
  k.Bytes[4] = static_cast<uint8_t>(ty);
  k.Bytes[5] = static_cast<uint8_t>(ty >> 8);
  for (int i = 0; i < 4; ++i) k.Bytes[10 + i] = static_cast<uint8_t>(value >> (8 * i));
  return k;
}

// A message for several recipients as one message for each (GUID set, Recipients empty).
inline std::vector<GameMessagePtr> ForEachRecipient(GameMessagePtr m) {
  std::vector<GameMessagePtr> out;
  if (m->Recipients.empty()) {
    out.push_back(std::move(m));
    return out;
  }
  for (uint32_t guid : m->Recipients) {
    auto copy = std::make_unique<GameMessage>(*m);
    copy->Recipients.clear();
    copy->GUID = guid;
    out.push_back(std::move(copy));
  }
  return out;
}

struct GameWorld {
  explicit GameWorld(int32_t spawnX = 1560, int32_t spawnY = 1921, const char* queue = "T-DISPATCH")
      : dispatch(queue), players(guids, timer, dispatch, sockets, map, spawnX, spawnY) {}

  // Every message composed so far, in order, one for each recipient.
  std::vector<GameMessagePtr> Drain() {
    players.Flush();
    std::vector<GameMessagePtr> out;
    for (int i = 0; i < 4096; ++i) {
      auto m = dispatch.Pop();
      if (!m) break;
      for (auto& copy : ForEachRecipient(std::move(m))) out.push_back(std::move(copy));
    }
    return out;
  }
  // Joins a player for socket `sid` and binds its GUID as the dispatch thread would.
  uint32_t Join(int32_t sid, const std::string& name = "P", uint16_t code = 0) {
    uint32_t g = players.AddPlayer(sid, name, code, "pw");
    sockets.BindGUID(sid, g);
    return g;
  }
  const PlayerRecord& P(uint32_t guid) { return *players.Player(players.getNumfromGUID(guid)); }

  TGUIDManager guids;
  TGameTimer timer;
  TGameMessenger dispatch;
  TSocketTable sockets;
  FakeMap map;
  TServerPlayerManager players;
};

}  // namespace zq::test

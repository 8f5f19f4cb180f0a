// Game state costs: one movement tick with 63 walkers, and one key event fanned out to 63
// players (including draining the 64 messages it posts, as the dispatch thread would).
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

#include "game/GameTimer.h"
#include "game/GuidManager.h"
#include "game/Players.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "protocol/GameMessenger.h"
#include "protocol/MessageCodes.h"
#include "protocol/SocketTable.h"
#include "world/Blocking.h"

namespace {

using namespace zq;

std::atomic<uint32_t> g_ticks{1000};
uint32_t BenchTicks() {
  return g_ticks.load(std::memory_order_relaxed);
}

// A 3072 x 3072 world whose edges block.
class EdgeMap : public IBlockingMap {
 public:
  bool IsBlockedX(int32_t, int32_t, int32_t x, int32_t y) const override { return Outside(x, y); }
  bool IsBlockedY(int32_t, int32_t, int32_t x, int32_t y) const override { return Outside(x, y); }

 private:
  static bool Outside(int32_t x, int32_t y) { return x < 0 || y < 0 || x >= 3072 || y >= 3072; }
};

struct Game {
  ConsoleCapture quiet;  // join and teardown trace lines stay out of the report
  TGUIDManager guids;
  TGameTimer timer;
  TGameMessenger dispatch{"BENCH-DISPATCH"};
  TSocketTable sockets;
  EdgeMap map;
  TServerPlayerManager players{guids, timer, dispatch, sockets, map, 1560, 1921};

  explicit Game(int n) {
    for (int s = 1; s <= n; ++s) {
      sockets.BindGUID(s, players.AddPlayer(s, "player", 0, ""));
      Drain();
    }
  }
  std::size_t Drain() {
    std::size_t n = 0;
    while (dispatch.Pop()) ++n;
    return n;
  }
};

MSKey Key(uint8_t k) {
  MSKey key;
  key.Bytes[1] = k;
  return key;
}

void BM_UpdatePlayers63Walkers(benchmark::State& state) {
  SetTickSource(&BenchTicks);
  Game game(MAX_SOCKETS);
  for (int s = 1; s <= MAX_SOCKETS; ++s) {  // every direction, diagonals too
    game.players.HandleKey(s, KeyDown, Key(static_cast<uint8_t>(1 + s % 4)));
    if (s % 3 == 0) game.players.HandleKey(s, KeyDown, Key(static_cast<uint8_t>(1 + (s + 1) % 4)));
  }
  game.Drain();
  for (auto _ : state) {
    g_ticks.fetch_add(62, std::memory_order_relaxed);
    game.players.UpdatePlayers();
  }
  benchmark::DoNotOptimize(game.players.Player(0)->PosX);
  SetTickSource(nullptr);
}
BENCHMARK(BM_UpdatePlayers63Walkers)->Unit(benchmark::kMicrosecond);

void BM_HandleKeyFanOutTo63(benchmark::State& state) {
  SetTickSource(&BenchTicks);
  Game game(MAX_SOCKETS);
  int s = 1;
  bool down = true;
  std::size_t posted = 0;
  for (auto _ : state) {
    game.players.HandleKey(s, down ? KeyDown : KeyUp, Key(4));
    posted += game.Drain();
    if (++s > MAX_SOCKETS) {
      s = 1;
      down = !down;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(posted));  // messages posted and freed
  SetTickSource(nullptr);
}
BENCHMARK(BM_HandleKeyFanOutTo63)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

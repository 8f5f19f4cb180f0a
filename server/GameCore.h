// TGameCore: the game's part of one run: the game queue ("ZQO-SGM") and the dispatch queue
// ("ZQO-DISPATCH"), the identifier allocator, the game clock, the player manager, the dispatch
// thread and the game manager thread. Made in that order (the player manager posts into the
// dispatch queue, so the queues come first) and freed in the reverse one. The threads begin
// with Start (dispatch first) and end with Stop (game manager first), or when the object goes.
// Main thread; the threads' lines reach the log through `writeLog`.
#pragma once

#include <functional>
#include <string>

#include "game/GameTimer.h"
#include "game/GuidManager.h"
#include "game/Players.h"
#include "game/ServerGameManager.h"
#include "platform/MainThreadQueue.h"
#include "protocol/DispatchManager.h"
#include "protocol/GameMessenger.h"
#include "protocol/SocketTable.h"
#include "server/ServerEvents.h"
#include "world/WorldData.h"

namespace zq {

struct TGameSettings {
  int32_t SpawnX = 0, SpawnY = 0;
  uint32_t TickInterval = TICK_INTERVAL;
};

class TGameCore {
 public:
  // The game's events reach `teller` on the main thread, in order with the log lines, while
  // it has a sink.
  TGameCore(TMainThreadQueue& main, TSocketTable& sockets, const TWorldData& world,
            TGameSettings settings, TLogFunction writeLog, const TEventTeller& teller);
  ~TGameCore();
  TGameCore(const TGameCore&) = delete;
  TGameCore& operator=(const TGameCore&) = delete;

  void Start();
  // Ends the game manager, then the dispatch thread, serving their last lines meanwhile.
  void Stop();

  TGameMessenger& GameQueue() { return gameQueue_; }
  const TGameMessenger& GameQueue() const { return gameQueue_; }
  const TGameMessenger& DispatchQueue() const { return dispatchQueue_; }
  TDispatchManager& Dispatch() { return dispatch_; }
  const TDispatchManager& Dispatch() const { return dispatch_; }
  const TServerGameManager& Manager() const { return manager_; }

 private:
  TGameMessenger gameQueue_;
  TGameMessenger dispatchQueue_;
  TGUIDManager guids_;
  TGameTimer timer_;
  TServerPlayerManager players_;
  TDispatchManager dispatch_;
  TServerGameManager manager_;
};

}  // namespace zq

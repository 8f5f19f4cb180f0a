#include "server/GameCore.h"

#include "protocol/ClientMessages.h"

namespace zq {

TGameCore::TGameCore(TMainThreadQueue& main, TSocketTable& sockets, const TWorldData& world,
                     TGameSettings settings, TLogFunction writeLog, const TEventTeller& teller)
    : gameQueue_(GAME_QUEUE_NAME, GAME_QUEUE_RESERVE),
      dispatchQueue_(DISPATCH_QUEUE_NAME),
      timer_(TIMER_MODE_TICKCOUNT),
      players_(guids_, timer_, dispatchQueue_, sockets, world.Blocking(), settings.SpawnX,
               settings.SpawnY),
      dispatch_(main, dispatchQueue_, sockets, writeLog),
      manager_(main, gameQueue_, players_, writeLog, settings.TickInterval) {
  players_.SetEventSink([&main, &teller](TGameEvent event) {
    if (!teller.Wanted()) return;  // nobody listens
    main.Post([&teller, event = std::move(event)] { teller.Tell(event); });
  });
}

TGameCore::~TGameCore() {
  Stop();
}

void TGameCore::Start() {
  dispatch_.Start();
  manager_.Start();
}

void TGameCore::Stop() {
  manager_.Terminate();
  manager_.WaitFor();
  dispatch_.Terminate();
  dispatch_.WaitFor();
}

}  // namespace zq

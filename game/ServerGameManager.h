// TServerGameManager: the game manager thread. It waits on the game queue, applies every game
// message to the player table, advances walking players whenever a tick interval has passed
// since their last update (traffic never holds them back), and publishes a snapshot of the
// table for the operator window. Its log lines are written on the main thread; it never sends
// or logs by itself. Destroying it (main thread) ends the thread first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/PlayerSnapshot.h"
#include "game/Players.h"
#include "platform/Histogram.h"
#include "platform/LogLevel.h"
#include "platform/MainThreadQueue.h"
#include "platform/WorkerThread.h"
#include "protocol/GameMessage.h"
#include "protocol/GameMessenger.h"

namespace zq {

constexpr uint32_t TICK_INTERVAL = 62;  // ms between two movement updates at least
constexpr const char* GAME_QUEUE_NAME = "ZQO-SGM";
constexpr std::size_t MAX_STATUS_LEN = 60;  // "Added player " and the name, in all
// Buckets of the UpdatePlayers durations, in seconds (1 us to 25 ms).
inline const std::vector<double> UPDATE_DURATION_BOUNDS = {
    1e-6, 2.5e-6, 5e-6, 1e-5, 2.5e-5, 5e-5, 1e-4, 2.5e-4, 5e-4, 1e-3, 2.5e-3, 5e-3, 1e-2, 2.5e-2};

// A ClientSay text trimmed, with runs of spaces collapsed, positions 97 and 98 removed and
// enclosed in double quotes. The result is "\"\"" for an empty or all-space text.
std::string CleanSpeech(std::string text);

class TServerGameManager : public TThread {
 public:
  // `writeLog` runs on the main thread and receives the whole line, "SGM: " included.
  TServerGameManager(TMainThreadQueue& main, TGameMessenger& gameQueue,
                     TServerPlayerManager& players, TLogFunction writeLog,
                     uint32_t tickInterval = TICK_INTERVAL);
  ~TServerGameManager() override;

  // Applies one message. Game manager thread once started (tests may call it before Start).
  // Raises EInternalCheck (ServerGameManagerU) for a null message or a missing structure.
  void HandleGameMessage(const GameMessage* message);

  // The player table as last published; any thread.
  const TPlayerSnapshot& Snapshot() const { return snapshot_; }
  // How long each UpdatePlayers took; any thread.
  const TDurationHistogram& UpdateDurations() const { return updateDurations_; }

 protected:
  void Execute() override;

 private:
  void Log(TLogLevel level, const std::string& status);
  void DrainQueue();
  void PublishIfChanged();

  TGameMessenger& gameQueue_;
  TServerPlayerManager& players_;
  TLogFunction writeLog_;
  uint32_t tickInterval_;
  TPlayerSnapshot snapshot_;
  uint64_t publishedRevision_ = 0;     // game manager thread
  std::vector<GameMessagePtr> batch_;  // game manager thread: one wake-up's messages
  TDurationHistogram updateDurations_{UPDATE_DURATION_BOUNDS};
};

}  // namespace zq

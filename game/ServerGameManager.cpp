#include "game/ServerGameManager.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/MessageCodes.h"

namespace zq {

namespace {
constexpr const char* MODULE = "ServerGameManagerU";
constexpr std::size_t SPEECH_CUT_AT = 96;  // 0-based index of position 97
}  // namespace

std::string CleanSpeech(std::string text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return "\"\"";
  std::size_t end = text.find_last_not_of(' ');
  std::string out;
  out.reserve(end - begin + 3);
  out.push_back('"');
  for (std::size_t i = begin; i <= end; ++i) {
    if (text[i] == ' ' && text[i - 1] == ' ') continue;  // text[begin] is no space
    out.push_back(text[i]);
  }
  if (out.size() > 1 + SPEECH_CUT_AT) out.erase(1 + SPEECH_CUT_AT, 2);
  out.push_back('"');
  return out;
}

TServerGameManager::TServerGameManager(TMainThreadQueue& main, TGameMessenger& gameQueue,
                                       TServerPlayerManager& players, TLogFunction writeLog,
                                       uint32_t tickInterval)
    : TThread(main),
      gameQueue_(gameQueue),
      players_(players),
      writeLog_(std::move(writeLog)),
      tickInterval_(tickInterval) {}

TServerGameManager::~TServerGameManager() {
  Terminate();
  WaitFor();
}

void TServerGameManager::Log(TLogLevel level, const std::string& status) {
  const std::string line = "SGM: " + status;
  Synchronize([this, level, line] {
    if (writeLog_) writeLog_(level, line);
  });
}

void TServerGameManager::PublishIfChanged() {
  if (players_.Revision() == publishedRevision_) return;
  publishedRevision_ = players_.Revision();
  snapshot_.Publish(players_.TakeSnapshot());
}

void TServerGameManager::HandleGameMessage(const GameMessage* message) {
  if (!message) InternalCheckFailed("GameMessage NIL", MODULE);
  const GameMessage& m = *message;
  switch (m.MsgType) {
    case StartGame: {
      const auto* st = std::get_if<MSStartup>(&m.msgStruct);
      if (!st) InternalCheckFailed("MSStartup structure NIL", MODULE);
      if (players_.AddPlayer(m.SocketID, st->UserName, st->ClientCode, st->Password, m.Serial) != 0)
        Log(TLogLevel::Info, ("Added player " + st->UserName).substr(0, MAX_STATUS_LEN));
      break;
    }
    case ClientSay: {
      std::string said = CleanSpeech(m.Data);
      if (said != "\"\"") players_.Say(m.SocketID, said, SPEECH_TIME);
      break;
    }
    case ClientGone:
      players_.removePlayer(m.SocketID);
      break;
    case PrivateSpeech:
      players_.SayTo(m.Serial, m.Data, SPEECH_TIME);
      break;
    case KeyDown:
    case KeyUp: {
      const auto* key = std::get_if<MSKey>(&m.msgStruct);
      if (!key) InternalCheckFailed("GameMessage^.msgStruct (MSKey) NIL", MODULE);
      players_.HandleKey(m.SocketID, m.MsgType, *key);
      break;
    }
    default:
      break;
  }
}

void TServerGameManager::DrainQueue() {
  // Taken under one lock, at most one ring's worth per wake-up, so termination and the
  // movement update are noticed; what is left wakes the next wait at once.
  batch_.clear();
  const std::size_t taken = gameQueue_.PopAll(batch_, QUEUE_SIZE);
  for (const GameMessagePtr& m : batch_) {
    try {
      HandleGameMessage(m.get());
    } catch (const EInternalCheck& e) {
      const std::string line =
          std::string("SGM: Internal check failed: ") + e.what() + " in " + e.Module();
      ConsoleDiagnostic("game check", line, line, TLogLevel::Error);
    }
  }
  batch_.clear();    // each message (and its structure) is freed here
  players_.Flush();  // what the batch composed, in one hand-over
  if (taken == QUEUE_SIZE) gameQueue_.Signal();
}

// Game manager thread.
void TServerGameManager::Execute() {
  Log(TLogLevel::Info, "GameManager startup.");
  uint32_t last = GetTickCount();  // the last movement update
  TWaitResult r;
  do {
    const int64_t elapsed = std::llabs(static_cast<int32_t>(GetTickCount() - last));
    r = gameQueue_.Wait(elapsed >= tickInterval_ ? 0
                                                 : tickInterval_ - static_cast<uint32_t>(elapsed));
    if (r == TWaitResult::wrSignaled) {
      DrainQueue();
      PublishIfChanged();
    }
    // Checked after messages as well as on a time-out, so traffic never holds walkers back.
    if (!Terminated() && r != TWaitResult::wrError) {
      const uint32_t now = GetTickCount();
      if (std::llabs(static_cast<int32_t>(now - last)) >= static_cast<int64_t>(tickInterval_)) {
        const auto began = std::chrono::steady_clock::now();
        players_.UpdatePlayers();
        updateDurations_.Observe(std::chrono::steady_clock::now() - began);
        PublishIfChanged();
        last = now;
      }
    }
  } while (!Terminated() && r != TWaitResult::wrAbandoned && r != TWaitResult::wrError);

  if (r == TWaitResult::wrError) {
    ConsoleLine(TLogLevel::Error, "SGM: Error!");
    Log(TLogLevel::Error, "GameManager thread TERMINATED because got wrError(" +
                              std::to_string(gameQueue_.LastError()) + ")");
  }
  if (r == TWaitResult::wrAbandoned) ConsoleLine(TLogLevel::Error, "SGM: Abandoned!");
  Log(TLogLevel::Info, std::string("GameManager shutdown. WaitResult=") + WaitResultName(r) +
                           " Terminated=" + (Terminated() ? "True" : "False"));
}

}  // namespace zq

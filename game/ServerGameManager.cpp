#include "game/ServerGameManager.h"

#include <cstdlib>
#include <utility>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/MessageCodes.h"

namespace zq {

namespace {
constexpr const char* kModule = "ServerGameManagerU";
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
                                       TServerPlayerManager& players,
                                       std::function<void(const std::string&)> writeLog,
                                       uint32_t tickInterval)
    : TThread(main),
      FGameQueue(gameQueue),
      FPlayers(players),
      FWriteLog(std::move(writeLog)),
      FTickInterval(tickInterval) {}

void TServerGameManager::Log(const std::string& status) {
  const std::string line = "SGM: " + status;
  Synchronize([this, &line] {
    if (FWriteLog) FWriteLog(line);
  });
}

void TServerGameManager::PublishIfChanged() {
  if (FPlayers.Revision() == FPublishedRevision) return;
  FPublishedRevision = FPlayers.Revision();
  FSnapshot.Publish(FPlayers.TakeSnapshot());
}

void TServerGameManager::HandleGameMessage(const GameMessage* message) {
  if (!message) InternalCheckFailed("GameMessage NIL", kModule);
  const GameMessage& m = *message;
  switch (m.MsgType) {
    case StartGame: {
      const auto* st = std::get_if<MSStartup>(&m.msgStruct);
      if (!st) InternalCheckFailed("MSStartup structure NIL", kModule);
      if (FPlayers.AddPlayer(m.SocketID, st->UserName, st->ClientCode, st->Password) != 0)
        Log(("Added player " + st->UserName).substr(0, MAX_STATUS_LEN));
      break;
    }
    case ClientSay: {
      std::string said = CleanSpeech(m.Data);
      if (said != "\"\"") FPlayers.Say(m.SocketID, said, SPEECH_TIME);
      break;
    }
    case ClientGone:
      FPlayers.removePlayer(m.SocketID);
      break;
    case KeyDown:
    case KeyUp: {
      const auto* key = std::get_if<MSKey>(&m.msgStruct);
      if (!key) InternalCheckFailed("GameMessage^.msgStruct (MSKey) NIL", kModule);
      FPlayers.HandleKey(m.SocketID, m.MsgType, *key);
      break;
    }
    default:
      break;
  }
}

void TServerGameManager::DrainQueue() {
  // Bounded: at most one ring's worth per wake-up, so termination is noticed.
  for (std::size_t n = 0; n < QUEUE_SIZE; ++n) {
    GameMessagePtr m = FGameQueue.Pop();
    if (!m) return;
    try {
      HandleGameMessage(m.get());
    } catch (const EInternalCheck& e) {
      ConsoleLine(std::string("SGM: Internal check failed: ") + e.what() + " in " + e.Module());
    }
  }  // each message (and its structure) is freed here
}

// Game manager thread.
void TServerGameManager::Execute() {
  Log("GameManager startup.");
  std::shared_ptr<TNamedEvent> event = TNamedEvent::CreateEventA(SGM_EVENT_NAME);
  uint32_t last = GetTickCount();
  TWaitResult r;
  do {
    r = event->WaitFor(FTickInterval);
    if (r == TWaitResult::wrSignaled) {
      DrainQueue();
      PublishIfChanged();
    }
    if (!Terminated() && (r == TWaitResult::wrTimeout || r == TWaitResult::wrAbandoned)) {
      const int64_t elapsed = static_cast<int32_t>(last - GetTickCount());
      if (std::llabs(elapsed) >= static_cast<int64_t>(FTickInterval)) {
        FPlayers.UpdatePlayers();
        PublishIfChanged();
      }
      last = GetTickCount();
    }
  } while (!Terminated() && r != TWaitResult::wrAbandoned && r != TWaitResult::wrError);

  if (r == TWaitResult::wrError) {
    ConsoleLine("SGM: Error!");
    Log("GameManager thread TERMINATED because got wrError(" + std::to_string(event->LastError()) +
        ")");
  }
  if (r == TWaitResult::wrAbandoned) ConsoleLine("SGM: Abandoned!");
  Log(std::string("GameManager shutdown. WaitResult=") + WaitResultName(r) +
      " Terminated=" + (Terminated() ? "True" : "False"));
}

}  // namespace zq

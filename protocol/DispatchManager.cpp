#include "protocol/DispatchManager.h"

#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

constexpr const char* MODULE = "DispatchManagerU";
// Most messages framed ahead while the main thread sends: about a megabyte.
constexpr std::size_t MAX_BATCH = 16 * QUEUE_SIZE;

void ReportCheck(const EInternalCheck& e) {
  const std::string line =
      std::string("DispatchManager internal check failed: ") + e.what() + " in " + e.Module();
  ConsoleDiagnostic(line, line);
}

}  // namespace

TDispatchManager::TDispatchManager(TMainThreadQueue& main, TGameMessenger& dispatchQueue,
                                   TSocketTable& sockets, LogFunction writeLog)
    : TThread(main), queue_(dispatchQueue), sockets_(sockets), writeLog_(std::move(writeLog)) {
  filling_.entries.resize(MAX_BATCH);
  sending_.entries.resize(MAX_BATCH);
}

TDispatchManager::~TDispatchManager() {
  Terminate();
  WaitFor();
}

void TDispatchManager::Log(const std::string& text) {
  std::string line = "DM: " + text;
  Synchronize([this, line] {
    if (writeLog_) writeLog_(line);
  });
}

void TDispatchManager::Execute() {
  Log("DispatchManager startup.");
  TWaitResult r;
  do {
    r = queue_.Wait(DISPATCH_WAIT_MS);
    if (r == TWaitResult::wrSignaled) Drain();
  } while (!Terminated() && r != TWaitResult::wrAbandoned && r != TWaitResult::wrError);
  // A batch handed over refers to this object: wait until the main thread has sent it.
  while (inFlight_.load()) queue_.Wait(10);
  if (r == TWaitResult::wrError)
    Log("DispatchManager thread TERMINATED because got wrError(" +
        std::to_string(queue_.LastError()) + ")");
  Log(std::string("DispatchManager shutdown. WaitResult=") + WaitResultName(r) +
      " Terminated=" + (Terminated() ? "True" : "False"));
}

void TDispatchManager::Drain() {
  // Everything pending is framed at once (up to MAX_BATCH, keeping memory bounded); the main
  // thread gets it as soon as it has sent the previous batch, which signals the queue.
  while (filling_.count < filling_.entries.size()) {
    GameMessagePtr message = queue_.Pop();
    if (!message) break;
    try {
      HandleOutgoing(*message);
    } catch (const EInternalCheck& e) {
      ReportCheck(e);
    }
  }  // each message (and its structure) is freed once framed
  HandOver();
}

void TDispatchManager::HandOver() {
  if (filling_.count == 0 || inFlight_.load()) return;
  std::swap(filling_, sending_);
  filling_.count = 0;
  inFlight_.store(true);
  MainQueue().Post([this] {
    SendBatch(sending_);
    inFlight_.store(false);
    queue_.Signal();  // the dispatch thread hands over what it framed meanwhile
  });
}

void TDispatchManager::HandleOutgoing(const GameMessage& message) {
  if (message.Data.size() > MAX_MSG_DATA)
    InternalCheckFailed("Data longer than 250 bytes in HandleOutgoing", MODULE);
  TOutgoing& out = filling_.entries[filling_.count];
  out.guid = message.GUID;
  out.targetSocketID = message.TargetSocketID;
  out.serial = message.Serial;
  out.action = message.MsgType == AssignGUID    ? TAction::Bind
               : message.MsgType == ReleaseGUID ? TAction::Release
                                                : TAction::Send;
  out.sendByUDP = IsUdpType(message.MsgType);
  out.frame.clear();
  if (out.action != TAction::Release) AppendFrame(out.frame, message.MsgType, message.Data);
  ++filling_.count;
}

TSocketID* TDispatchManager::Target(const TOutgoing& out) {
  if (out.targetSocketID < 1 || out.targetSocketID > MAX_SOCKETS)
    InternalCheckFailed(
        "TargetSocketID " + std::to_string(out.targetSocketID) + " out of range in BindGUID",
        MODULE);
  TSocketID& target = sockets_[out.targetSocketID];
  return target.InUse() && target.Serial == out.serial ? &target : nullptr;
}

void TDispatchManager::SendBatch(const TBatch& batch) {
  for (std::size_t i = 0; i < batch.count; ++i) {
    const TOutgoing& out = batch.entries[i];
    try {
      if (out.action == TAction::Release) {
        TSocketID* target = Target(out);
        if (target && target->GUID.load(std::memory_order_relaxed) == out.guid)
          sockets_.BindGUID(target->Number, 0);
        continue;
      }
      if (out.action == TAction::Bind) {
        TSocketID* target = Target(out);
        if (!target) {  // the connection that asked to join has gone
          ++unaddressed_;
          continue;
        }
        sockets_.BindGUID(target->Number, out.guid);
      }
      TSocketID* to = sockets_.FindByGUID(out.guid);
      if (!to) {
        ++unaddressed_;
        continue;
      }
      if (out.sendByUDP)
        SendUDP(*to, out.frame);
      else
        SendTCP(*to, out.frame);
      if (out.action == TAction::Bind && onBound_) onBound_(*to);
    } catch (const EInternalCheck& e) {
      ReportCheck(e);
    }
  }
}

}  // namespace zq

#include "protocol/DispatchManager.h"

#include <algorithm>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

constexpr const char* MODULE = "DispatchManagerU";

void ReportCheck(const EInternalCheck& e) {
  const std::string line =
      std::string("DispatchManager internal check failed: ") + e.what() + " in " + e.Module();
  ConsoleDiagnostic("dispatch check", line, line, TLogLevel::Error);
}

}  // namespace

TDispatchManager::TDispatchManager(TMainThreadQueue& main, TGameMessenger& dispatchQueue,
                                   TSocketTable& sockets, TLogFunction writeLog)
    : TThread(main), queue_(dispatchQueue), sockets_(sockets), writeLog_(std::move(writeLog)) {}

TDispatchManager::~TDispatchManager() {
  Terminate();
  WaitFor();
}

void TDispatchManager::Log(TLogLevel level, const std::string& text) {
  std::string line = "DM: " + text;
  Synchronize([this, level, line] {
    if (writeLog_) writeLog_(level, line);
  });
}

void TDispatchManager::Execute() {
  Log(TLogLevel::Info, "DispatchManager startup.");
  TWaitResult r;
  do {
    r = queue_.Wait(DISPATCH_WAIT_MS);
    if (r == TWaitResult::wrSignaled) Drain();
  } while (!Terminated() && r != TWaitResult::wrAbandoned && r != TWaitResult::wrError);
  // A batch handed over refers to this object: wait until the main thread has sent it all.
  for (bool told = false;; told = true) {
    {
      std::lock_guard guard(lock_);
      if (!inFlight_ && !ready_) break;
    }
    if (!told) Tell(TDispatchStep::ShutdownWait);
    queue_.Wait(10);
  }
  if (r == TWaitResult::wrError)
    Log(TLogLevel::Error, "DispatchManager thread TERMINATED because got wrError(" +
                              std::to_string(queue_.LastError()) + ")");
  Log(TLogLevel::Info, std::string("DispatchManager shutdown. WaitResult=") + WaitResultName(r) +
                           " Terminated=" + (Terminated() ? "True" : "False"));
}

void TDispatchManager::Drain() {
  bool ready;
  {
    std::lock_guard guard(lock_);
    ready = ready_;
  }
  if (ready) {  // the main thread takes that batch first, and wakes this thread
    Tell(TDispatchStep::Deferred);
    return;
  }
  // Everything pending is framed at once (up to DISPATCH_MAX_BATCH addressees, keeping memory
  // bounded); what is left wakes the next wait.
  while (filling_.entries.size() < DISPATCH_MAX_BATCH) {
    popped_.clear();
    if (queue_.PopAll(popped_, QUEUE_SIZE) == 0) break;
    for (const GameMessagePtr& message : popped_) {
      try {
        HandleOutgoing(*message);
      } catch (const EInternalCheck& e) {
        ReportCheck(e);
      }
    }
  }
  popped_.clear();  // each message (and its structure) is freed once framed
  // Handed over with more waiting (the batch was full): frame the rest meanwhile.
  if (HandOver() && queue_.Size() > 0) queue_.Signal();
}

bool TDispatchManager::HandOver() {
  if (filling_.entries.empty()) {
    Tell(TDispatchStep::NothingToSend);
    return false;
  }
  bool busy;
  {
    std::lock_guard guard(lock_);
    busy = inFlight_;
    if (busy) {
      ready_ = true;  // the main thread takes it as soon as it has sent the one in hand
    } else {
      std::swap(filling_, sending_);
      filling_.Clear();
      inFlight_ = true;
    }
  }
  if (busy) {
    Tell(TDispatchStep::MarkedReady);
    return false;
  }
  MainQueue().Post([this] { SendBatches(); });
  Tell(TDispatchStep::HandedOver);
  return true;
}

void TDispatchManager::SendBatches() {
  for (;;) {
    SendBatch(sending_);
    {
      std::lock_guard guard(lock_);
      if (!ready_) {
        inFlight_ = false;
        break;
      }
      std::swap(filling_, sending_);
      filling_.Clear();
      ready_ = false;
    }
    if (queue_.Size() > 0) queue_.Signal();  // framing goes on while this batch is sent
  }
  if (queue_.Size() > 0) queue_.Signal();  // only when there is something to frame
}

void TDispatchManager::HandleOutgoing(const GameMessage& message) {
  if (message.Data.size() > MAX_MSG_DATA)
    InternalCheckFailed("Data longer than 250 bytes in HandleOutgoing", MODULE);
  TOutgoing out;
  out.guid = message.GUID;
  out.targetSocketID = message.TargetSocketID;
  out.serial = message.Serial;
  out.action = message.MsgType == AssignGUID    ? TAction::Bind
               : message.MsgType == ReleaseGUID ? TAction::Release
                                                : TAction::Send;
  out.sendByUDP = IsUdpType(message.MsgType);
  if (out.action != TAction::Release) {
    if (filling_.frameCount == filling_.frames.size()) filling_.frames.emplace_back();
    std::string& frame = filling_.frames[filling_.frameCount];
    frame.clear();
    AppendFrame(frame, message.MsgType, message.Data);
    out.frame = filling_.frameCount++;
  }
  if (message.Recipients.empty()) {
    filling_.entries.push_back(out);
    return;
  }
  for (uint32_t guid : message.Recipients) {
    out.guid = guid;
    filling_.entries.push_back(out);
  }
}

TSocketID* TDispatchManager::Target(const TOutgoing& out) {
  if (out.targetSocketID < 1 || out.targetSocketID > MAX_SOCKETS)
    InternalCheckFailed(
        "TargetSocketID " + std::to_string(out.targetSocketID) + " out of range in BindGUID",
        MODULE);
  TSocketID& target = sockets_[out.targetSocketID];
  return target.InUse() && target.Serial == out.serial ? &target : nullptr;
}

void TDispatchManager::Departed(uint32_t guid) {
  if (guid != 0 && !IsDeparted(guid)) departed_.push_back(guid);
}

bool TDispatchManager::IsDeparted(uint32_t guid) const {
  return std::find(departed_.begin(), departed_.end(), guid) != departed_.end();
}

void TDispatchManager::SendBatch(const TBatch& batch) {
  for (const TOutgoing& out : batch.entries) {
    try {
      if (out.action == TAction::Release) {
        // Everything the game sent the player came before: its GUID may be handed out again.
        departed_.erase(std::remove(departed_.begin(), departed_.end(), out.guid), departed_.end());
        TSocketID* target = Target(out);
        if (target && target->GUID.load(std::memory_order_relaxed) == out.guid)
          sockets_.BindGUID(target->Number, 0);
        continue;
      }
      if (out.action == TAction::Bind) {
        TSocketID* target = Target(out);
        if (!target) {  // the connection that asked to join has gone; the game will hear
          Departed(out.guid);
          continue;
        }
        sockets_.BindGUID(target->Number, out.guid);
      }
      if (out.action == TAction::Send && IsDeparted(out.guid)) continue;
      TSocketID* to = sockets_.FindByGUID(out.guid);
      if (!to) {
        ++unaddressed_;
        continue;
      }
      const std::string& frame = batch.frames[out.frame];
      if (out.sendByUDP)
        SendUDP(*to, frame);
      else
        SendTCP(*to, frame);
      if (out.action == TAction::Bind && onBound_) onBound_(*to);
    } catch (const EInternalCheck& e) {
      ReportCheck(e);
    }
  }
}

}  // namespace zq

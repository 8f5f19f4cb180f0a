#include "protocol/DispatchManager.h"

#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/NamedEvent.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

constexpr const char* kModule = "DispatchManagerU";

void ReportCheck(const EInternalCheck& e) {
  ConsoleLine(std::string("DispatchManager internal check failed: ") + e.what() + " in " +
              e.Module());
}

}  // namespace

TDispatchManager::TDispatchManager(TMainThreadQueue& main, TGameMessenger& dispatchQueue,
                                   TServerTables& tables, LogFunction writeLog)
    : TThread(main), queue_(dispatchQueue), tables_(tables), writeLog_(std::move(writeLog)) {
  batch_.resize(QUEUE_SIZE);
}

TDispatchManager::~TDispatchManager() {
  if (started_) {
    Terminate();
    WaitFor();
  }
}

void TDispatchManager::Start() {
  started_ = true;
  TThread::Start();
}

void TDispatchManager::Log(const std::string& text) {
  std::string line = "DM: " + text;
  Synchronize([&] {
    try {
      if (writeLog_) writeLog_(line);
    } catch (const std::exception& e) {  // a lost log line must not end the thread
      ConsoleLine(line + " (not logged: " + e.what() + ")");
    }
  });
}

void TDispatchManager::Execute() {
  Log("DispatchManager startup.");
  std::shared_ptr<TNamedEvent> event = TNamedEvent::CreateEventA(DISPATCH_QUEUE_NAME);
  TWaitResult r;
  do {
    r = event->WaitFor(DISPATCH_WAIT_MS);
    if (r == TWaitResult::wrSignaled) Drain();
  } while (!Terminated() && r != TWaitResult::wrAbandoned && r != TWaitResult::wrError);
  if (r == TWaitResult::wrError)
    Log("DispatchManager thread TERMINATED because got wrError(" +
        std::to_string(event->LastError()) + ")");
  Log(std::string("DispatchManager shutdown. WaitResult=") + WaitResultName(r) +
      " Terminated=" + (Terminated() ? "True" : "False"));
}

void TDispatchManager::Drain() {
  // Batches of at most QUEUE_SIZE keep memory bounded while a producer keeps pushing.
  for (;;) {
    batchCount_ = 0;
    while (batchCount_ < batch_.size()) {
      GameMessagePtr message = queue_.Pop();
      if (!message) break;
      try {
        HandleOutgoing(*message);
      } catch (const EInternalCheck& e) {
        ReportCheck(e);
      }
    }  // each message (and its structure) is freed once framed
    if (batchCount_ == 0) return;
    Synchronize([this] { SendBatch(); });
    if (batchCount_ < batch_.size()) return;
  }
}

void TDispatchManager::HandleOutgoing(const GameMessage& message) {
  if (message.Data.size() > MAX_MSG_DATA)
    InternalCheckFailed("Data longer than 250 bytes in HandleOutgoing", kModule);
  TOutgoing& out = batch_[batchCount_];
  out.guid = message.GUID;
  out.assignGUID = message.MsgType == AssignGUID;
  out.targetSocketID = message.TargetSocketID;
  out.sendByUDP = IsUdpType(message.MsgType);
  out.frame.clear();
  AppendFrame(out.frame, message.MsgType, message.Data);
  ++batchCount_;
}

void TDispatchManager::SendBatch() {
  for (std::size_t i = 0; i < batchCount_; ++i) {
    const TOutgoing& out = batch_[i];
    try {
      if (out.assignGUID) {
        if (out.targetSocketID < 1 || out.targetSocketID > NOT_FOUND)
          InternalCheckFailed(
              "TargetSocketID " + std::to_string(out.targetSocketID) + " out of range in BindGUID",
              kModule);
        tables_.Sockets.BindGUID(out.targetSocketID, out.guid);
      }
      int32_t n = tables_.Sockets.FindByGUID(out.guid);
      if (out.sendByUDP)
        SendUDP(tables_, n, out.frame);
      else
        SendTCP(tables_, n, out.frame);
    } catch (const EInternalCheck& e) {
      ReportCheck(e);
    }
  }
}

}  // namespace zq

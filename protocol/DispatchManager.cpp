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
// Most messages framed ahead while the main thread sends: about a megabyte.
constexpr std::size_t MAX_BATCH = 16 * QUEUE_SIZE;

void ReportCheck(const EInternalCheck& e) {
  ConsoleLine(std::string("DispatchManager internal check failed: ") + e.what() + " in " +
              e.Module());
}

}  // namespace

TDispatchManager::TDispatchManager(TMainThreadQueue& main, TGameMessenger& dispatchQueue,
                                   TServerTables& tables, LogFunction writeLog)
    : TThread(main), queue_(dispatchQueue), tables_(tables), writeLog_(std::move(writeLog)) {
  filling_.entries.resize(MAX_BATCH);
  sending_.entries.resize(MAX_BATCH);
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
  event_ = TNamedEvent::CreateEventA(DISPATCH_QUEUE_NAME);
  std::shared_ptr<TNamedEvent> event = event_;
  TWaitResult r;
  do {
    r = event->WaitFor(DISPATCH_WAIT_MS);
    if (r == TWaitResult::wrSignaled) Drain();
  } while (!Terminated() && r != TWaitResult::wrAbandoned && r != TWaitResult::wrError);
  // A batch handed over refers to this object: wait until the main thread has sent it.
  while (inFlight_.load()) event->WaitFor(10);
  if (r == TWaitResult::wrError)
    Log("DispatchManager thread TERMINATED because got wrError(" +
        std::to_string(event->LastError()) + ")");
  Log(std::string("DispatchManager shutdown. WaitResult=") + WaitResultName(r) +
      " Terminated=" + (Terminated() ? "True" : "False"));
}

void TDispatchManager::Drain() {
  // Everything pending is framed at once (up to MAX_BATCH, keeping memory bounded); the main
  // thread gets it as soon as it has sent the previous batch, which signals the event.
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
    event_->SetEvent();  // the dispatch thread hands over what it framed meanwhile
  });
}

void TDispatchManager::HandleOutgoing(const GameMessage& message) {
  if (message.Data.size() > MAX_MSG_DATA)
    InternalCheckFailed("Data longer than 250 bytes in HandleOutgoing", kModule);
  TOutgoing& out = filling_.entries[filling_.count];
  out.guid = message.GUID;
  out.assignGUID = message.MsgType == AssignGUID;
  out.targetSocketID = message.TargetSocketID;
  out.sendByUDP = IsUdpType(message.MsgType);
  out.frame.clear();
  AppendFrame(out.frame, message.MsgType, message.Data);
  ++filling_.count;
}

void TDispatchManager::SendBatch(const TBatch& batch) {
  for (std::size_t i = 0; i < batch.count; ++i) {
    const TOutgoing& out = batch.entries[i];
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

// TDispatchManager: the thread that sends the game's messages. It waits on the event named
// "ZQO-DISPATCH", drains the dispatch queue, frames each message, and has the main thread
// bind AssignGUID identifiers, find each addressee by GUID and send by TCP or UDP.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/NamedEvent.h"
#include "platform/WorkerThread.h"
#include "protocol/ConnectionState.h"
#include "protocol/GameMessenger.h"

namespace zq {

constexpr const char* DISPATCH_QUEUE_NAME = "ZQO-DISPATCH";
constexpr uint32_t DISPATCH_WAIT_MS = 250;

class TDispatchManager : public TThread {
 public:
  using LogFunction = std::function<void(const std::string&)>;  // main thread

  // `writeLog` gets whole lines, "DM: " included. Start() begins the thread.
  TDispatchManager(TMainThreadQueue& main, TGameMessenger& dispatchQueue, TServerTables& tables,
                   LogFunction writeLog);
  // Ends the thread first if it is still running (main thread).
  ~TDispatchManager() override;

  void Start();

 protected:
  void Execute() override;

 private:
  // One framed message of a batch; the entries are reused from batch to batch.
  struct TOutgoing {
    std::string frame;
    uint32_t guid = 0;
    int32_t targetSocketID = 0;
    bool assignGUID = false;
    bool sendByUDP = false;
  };

  struct TBatch {
    std::vector<TOutgoing> entries;  // reused from batch to batch
    std::size_t count = 0;
  };

  void Log(const std::string& text);  // dispatch thread
  void Drain();                       // dispatch thread
  // Hands the filled batch to the main thread unless one is still being sent; dispatch thread.
  void HandOver();
  // Frames one message into the next entry of the filling batch; dispatch thread.
  void HandleOutgoing(const GameMessage& message);
  void SendBatch(const TBatch& batch);  // main thread: bind, look up and send each, in order

  TGameMessenger& queue_;
  TServerTables& tables_;
  LogFunction writeLog_;
  bool started_ = false;
  std::shared_ptr<TNamedEvent> event_;
  // Two batches: the dispatch thread fills one while the main thread sends the other, so the
  // queue keeps draining while the main thread is busy.
  TBatch filling_;
  TBatch sending_;
  std::atomic<bool> inFlight_{false};
};

}  // namespace zq

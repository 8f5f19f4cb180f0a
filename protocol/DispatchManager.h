// TDispatchManager: the thread that sends the game's messages. It waits on the event named
// "ZQO-DISPATCH", drains the dispatch queue, frames each message, and has the main thread
// bind AssignGUID identifiers, find each addressee by GUID and send by TCP or UDP.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

  void Log(const std::string& text);  // dispatch thread
  void Drain();                       // dispatch thread
  // Frames one message into the next batch entry; dispatch thread.
  void HandleOutgoing(const GameMessage& message);
  void SendBatch();  // main thread: bind, look up and send each entry, in order

  TGameMessenger& queue_;
  TServerTables& tables_;
  LogFunction writeLog_;
  bool started_ = false;
  std::vector<TOutgoing> batch_;  // dispatch thread fills, main thread reads while it waits
  std::size_t batchCount_ = 0;
};

}  // namespace zq

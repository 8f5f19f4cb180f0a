// TDispatchManager: the thread that sends the game's messages. It waits on the dispatch
// queue, drains it, frames each message once (a message for several players is framed once
// for all of them), and has the main thread bind AssignGUID identifiers, find each addressee
// by GUID and send by TCP or UDP. A binding applies only to the connection whose StartGame
// made the player; a message whose GUID no connection holds is dropped and counted, never
// sent to anyone else.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/LogLevel.h"
#include "platform/WorkerThread.h"
#include "protocol/GameMessenger.h"
#include "protocol/SocketTable.h"

namespace zq {

constexpr const char* DISPATCH_QUEUE_NAME = "ZQO-DISPATCH";
constexpr uint32_t DISPATCH_WAIT_MS = 250;
// Most addressees framed ahead while the main thread sends: about a megabyte.
constexpr std::size_t DISPATCH_MAX_BATCH = 16 * QUEUE_SIZE;

// What the dispatch thread has just done with the messages it was woken for.
enum class TDispatchStep : uint8_t {
  HandedOver,     // a batch was posted to the main thread
  MarkedReady,    // a batch was left ready while the main thread sends another
  Deferred,       // woken while a batch was ready: nothing framed; the main thread wakes it
  NothingToSend,  // woken with nothing pending
  ShutdownWait,   // ending, it waits for the main thread to send what it was given
};

class TDispatchManager : public TThread {
 public:
  // `writeLog` gets whole lines, "DM: " included. Start() begins the thread.
  TDispatchManager(TMainThreadQueue& main, TGameMessenger& dispatchQueue, TSocketTable& sockets,
                   TLogFunction writeLog);
  // Ends the thread first if it is still running (main thread).
  ~TDispatchManager() override;

  // Messages dropped because no connection held their GUID: a fault, for the game addressed
  // a player it did not have (main thread). Messages for a player whose connection has left
  // while the game had not yet applied the departure (a PlayerLeft for each of several players
  // leaving at once, a binding for a connection closed during its join) are dropped without
  // counting: the game sends them before it learns of the departure, and its ReleaseGUID
  // follows them.
  uint64_t Unaddressed() const { return unaddressed_; }
  // The connection holding `guid` has left the game (main thread): messages for it are
  // dropped uncounted until the game's ReleaseGUID for it. 0 is ignored.
  void Departed(uint32_t guid);
  // Runs on the main thread once a connection's GUID is bound and its AssignGUID sent (its
  // waiting input may go on then). Set before Start.
  void SetOnBound(std::function<void(TSocketID&)> onBound) { onBound_ = std::move(onBound); }
  // Test seam: `observer` runs on the dispatch thread after each TDispatchStep, so that a test
  // can order what it does against the thread; the server sets none. Set before Start.
  void SetStepObserver(std::function<void(TDispatchStep)> observer) {
    observer_ = std::move(observer);
  }

 protected:
  void Execute() override;

 private:
  enum class TAction : uint8_t { Send, Bind, Release };

  // One addressee of a framed message.
  struct TOutgoing {
    std::size_t frame = 0;  // index into the batch's frames
    uint32_t guid = 0;
    int32_t targetSocketID = 0;
    uint64_t serial = 0;
    TAction action = TAction::Send;
    bool sendByUDP = false;
  };

  // Frames and their addressees; the strings keep their capacity from batch to batch.
  struct TBatch {
    std::vector<std::string> frames;
    std::size_t frameCount = 0;
    std::vector<TOutgoing> entries;
    void Clear() {
      frameCount = 0;
      entries.clear();
    }
  };

  void Log(TLogLevel level, const std::string& text);  // dispatch thread
  void Tell(TDispatchStep step) {                      // dispatch thread
    if (observer_) observer_(step);
  }
  void Drain();  // dispatch thread
  // Gives the filled batch to the main thread (true), or, while it sends another, leaves it
  // ready for the main thread to take as soon as it is done; dispatch thread.
  bool HandOver();
  // Frames one message into the filling batch; dispatch thread.
  void HandleOutgoing(const GameMessage& message);
  // Main thread: sends the batch handed over, then each batch left ready meanwhile.
  void SendBatches();
  void SendBatch(const TBatch& batch);  // main thread: bind, look up and send each, in order
  // The record bound for `out`, when it is still the connection the binding was made for.
  TSocketID* Target(const TOutgoing& out);  // main thread

  TGameMessenger& queue_;
  TSocketTable& sockets_;
  TLogFunction writeLog_;
  std::vector<GameMessagePtr> popped_;  // dispatch thread
  std::function<void(TSocketID&)> onBound_;
  std::function<void(TDispatchStep)> observer_;  // test seam
  // Two batches: the dispatch thread fills one while the main thread sends the other, so the
  // queue keeps draining while the main thread is busy. The lock guards the flags and the
  // swap; the dispatch thread touches filling_ only while it is not ready_.
  std::mutex lock_;
  TBatch filling_;
  TBatch sending_;
  bool inFlight_ = false;     // the main thread has a batch to send
  bool ready_ = false;        // filling_ is complete and waits for the main thread
  uint64_t unaddressed_ = 0;  // main thread
  // Main thread: the GUIDs of players who left, until their ReleaseGUID; as many as players
  // leave at once.
  std::vector<uint32_t> departed_;
  bool IsDeparted(uint32_t guid) const;
};

}  // namespace zq

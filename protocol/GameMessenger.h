// TGameMessenger: a fixed ring of 1024 message slots under a lock, plus an auto-reset event
// that every push signals and the consumer waits on (Wait). Ordinary messages are refused when
// the ring has no more free slots than the queue's reserve; priority messages are never
// refused: beyond the ring they wait in an overflow list, behind which nothing overtakes
// them. Push, Pop and Wait may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Event.h"
#include "protocol/GameMessage.h"

namespace zq {

constexpr std::size_t QUEUE_SIZE = 1024;

class TGameMessenger {
 public:
  // `reserve`: ring slots that only priority messages may take.
  explicit TGameMessenger(std::string name, std::size_t reserve = 0);
  ~TGameMessenger();  // pending messages are freed with the queue
  TGameMessenger(const TGameMessenger&) = delete;
  TGameMessenger& operator=(const TGameMessenger&) = delete;

  const std::string& Name() const { return name_; }

  // Appends the message and signals the event. A full queue refuses it: the message is
  // freed, "<name>:MESSAGE QUEUE HAS FILLED!!" goes to the console (at most once a second,
  // counting the refusals in between) and false is returned.
  bool Push(GameMessagePtr message);
  // Appends the message and signals the event; never refused.
  void PushPriority(GameMessagePtr message);
  // Pushes every message in order, as Push does one by one, with one signal for them all.
  // The vector is emptied.
  void PushAll(std::vector<GameMessagePtr>& messages);
  // The oldest pending message, or null when the queue is empty. Never waits.
  GameMessagePtr Pop();
  // Moves up to `max` pending messages, oldest first, to the end of `out` under one lock;
  // returns how many. Never waits.
  std::size_t PopAll(std::vector<GameMessagePtr>& out, std::size_t max);

  // Consumer: waits until a push signals (or Signal), at most timeoutMs.
  TWaitResult Wait(uint32_t timeoutMs) { return event_.WaitFor(timeoutMs); }
  // Wakes the consumer without a message.
  void Signal() { event_.SetEvent(); }
  // Ends every present and future Wait with wrAbandoned.
  void Abandon() { event_.Abandon(); }
  // Operating-system error code of the last failed Wait (0: none).
  int LastError() const { return event_.LastError(); }

  // For a producer that may wait (never the main thread): waits until the ring has `count`
  // free slots (at most all 1023) or timeoutMs pass; true when there is room.
  bool WaitForRoom(std::size_t count, uint32_t timeoutMs);

  // Messages pending; messages refused so far.
  std::size_t Size() const;
  uint64_t Refused() const { return refused_.load(std::memory_order_relaxed); }

 private:
  // Under lock_.
  std::size_t Free() const { return (head_ + QUEUE_SIZE - tail_ - 1) % QUEUE_SIZE; }
  bool Store(GameMessagePtr& message);  // false (and a console line) when refused
  void StoreRing(GameMessagePtr& message);

  std::string name_;
  std::size_t reserve_;
  TEvent event_;
  mutable std::mutex lock_;
  std::array<GameMessagePtr, QUEUE_SIZE> ring_;
  std::size_t head_ = 0;
  std::size_t tail_ = 0;
  std::deque<GameMessagePtr> overflow_;  // priority messages beyond the ring
  std::condition_variable room_;
  int roomWaiters_ = 0;  // guarded by lock_
  std::atomic<uint64_t> refused_{0};
};

}  // namespace zq

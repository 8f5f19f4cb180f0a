// TGameMessenger: a fixed ring of 1024 message slots under a lock, plus a named auto-reset
// event that every Push signals. The consumer opens an event of the same name and waits on it.
// Push and Pop may be called from any thread.
#pragma once

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NamedEvent.h"
#include "protocol/GameMessage.h"

namespace zq {

constexpr std::size_t QUEUE_SIZE = 1024;

class TGameMessenger {
 public:
  explicit TGameMessenger(std::string name);
  ~TGameMessenger();  // pending messages are freed with the queue
  TGameMessenger(const TGameMessenger&) = delete;
  TGameMessenger& operator=(const TGameMessenger&) = delete;

  const std::string& Name() const { return name_; }

  // Appends the message and signals the event. A full ring (1023 pending) refuses the new
  // message: it is freed, "<name>:MESSAGE QUEUE HAS FILLED!!" goes to the console, and
  // false is returned. The pending messages stay.
  bool Push(GameMessagePtr message);
  // The oldest pending message, or null when the queue is empty. Never waits.
  GameMessagePtr Pop();

  // Pushes every message in order, as Push does one by one, with one signal for them all.
  // The vector is emptied.
  void PushAll(std::vector<GameMessagePtr>& messages);

  // For a producer that may wait (never the main thread): waits until the ring has `count`
  // free slots (at most all 1023) or timeoutMs pass; true when there is room. A consumer
  // slower than its producer then holds the producer back instead of the ring refusing
  // messages.
  bool WaitForRoom(std::size_t count, uint32_t timeoutMs);

 private:
  std::string name_;
  std::shared_ptr<TNamedEvent> event_;
  std::mutex lock_;
  std::array<GameMessagePtr, QUEUE_SIZE> ring_;
  std::size_t head_ = 0;
  std::size_t tail_ = 0;
  std::condition_variable room_;
  int roomWaiters_ = 0;  // guarded by lock_

  bool Store(GameMessagePtr& message);  // under lock_: false (and a console line) when full
  std::size_t Free() const { return (head_ + QUEUE_SIZE - tail_ - 1) % QUEUE_SIZE; }
};

}  // namespace zq

#include "protocol/GameMessenger.h"

#include "platform/Console.h"

namespace zq {

TGameMessenger::TGameMessenger(std::string name)
    : name_(std::move(name)), event_(TNamedEvent::CreateEventA(name_)) {}

TGameMessenger::~TGameMessenger() = default;

bool TGameMessenger::Push(GameMessagePtr message) {
  bool kept = false;
  {
    std::lock_guard guard(lock_);
    std::size_t next = (tail_ + 1) % QUEUE_SIZE;
    if (next == head_) {
      ConsoleLine(name_ + ":MESSAGE QUEUE HAS FILLED!!");
    } else {
      ring_[tail_] = std::move(message);
      tail_ = next;
      kept = true;
    }
  }
  event_->SetEvent();  // also when refused: the consumer should drain what is pending
  return kept;         // a refused message is freed on return
}

GameMessagePtr TGameMessenger::Pop() {
  GameMessagePtr message;
  bool wake;
  {
    std::lock_guard guard(lock_);
    if (head_ == tail_) return nullptr;
    message = std::move(ring_[head_]);
    head_ = (head_ + 1) % QUEUE_SIZE;
    wake = roomWaiters_ > 0;
  }
  if (wake) room_.notify_all();
  return message;
}

bool TGameMessenger::WaitForRoom(uint32_t timeoutMs) {
  std::unique_lock guard(lock_);
  auto hasRoom = [this] { return (tail_ + 1) % QUEUE_SIZE != head_; };
  if (hasRoom()) return true;
  ++roomWaiters_;
  bool room = room_.wait_for(guard, std::chrono::milliseconds(timeoutMs), hasRoom);
  --roomWaiters_;
  return room;
}

}  // namespace zq

#include "protocol/GameMessenger.h"

#include <algorithm>

#include "platform/Console.h"

namespace zq {

TGameMessenger::TGameMessenger(std::string name)
    : name_(std::move(name)), event_(TNamedEvent::CreateEventA(name_)) {}

TGameMessenger::~TGameMessenger() = default;

bool TGameMessenger::Store(GameMessagePtr& message) {
  std::size_t next = (tail_ + 1) % QUEUE_SIZE;
  if (next == head_) {
    ConsoleLine(name_ + ":MESSAGE QUEUE HAS FILLED!!");
    return false;
  }
  ring_[tail_] = std::move(message);
  tail_ = next;
  return true;
}

bool TGameMessenger::Push(GameMessagePtr message) {
  bool kept;
  {
    std::lock_guard guard(lock_);
    kept = Store(message);
  }
  event_->SetEvent();  // also when refused: the consumer should drain what is pending
  return kept;         // a refused message is freed on return
}

void TGameMessenger::PushAll(std::vector<GameMessagePtr>& messages) {
  {
    std::lock_guard guard(lock_);
    for (GameMessagePtr& message : messages) Store(message);
  }
  messages.clear();  // frees any refused message
  event_->SetEvent();
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

bool TGameMessenger::WaitForRoom(std::size_t count, uint32_t timeoutMs) {
  count = std::min(count, QUEUE_SIZE - 1);
  std::unique_lock guard(lock_);
  auto hasRoom = [&] { return Free() >= count; };
  if (hasRoom()) return true;
  ++roomWaiters_;
  bool room = room_.wait_for(guard, std::chrono::milliseconds(timeoutMs), hasRoom);
  --roomWaiters_;
  return room;
}

}  // namespace zq

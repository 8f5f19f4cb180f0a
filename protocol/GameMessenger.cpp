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
  std::lock_guard guard(lock_);
  if (head_ == tail_) return nullptr;
  GameMessagePtr message = std::move(ring_[head_]);
  head_ = (head_ + 1) % QUEUE_SIZE;
  return message;
}

}  // namespace zq

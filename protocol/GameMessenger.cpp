#include "protocol/GameMessenger.h"

#include <algorithm>

#include "platform/Console.h"

namespace zq {

TGameMessenger::TGameMessenger(std::string name, std::size_t reserve)
    : name_(std::move(name)), reserve_(std::min(reserve, QUEUE_SIZE - 1)) {}

TGameMessenger::~TGameMessenger() = default;

void TGameMessenger::StoreRing(GameMessagePtr& message) {
  ring_[tail_] = std::move(message);
  tail_ = (tail_ + 1) % QUEUE_SIZE;
}

bool TGameMessenger::Store(GameMessagePtr& message) {
  if (Free() <= reserve_ || !overflow_.empty()) {
    refused_.fetch_add(1, std::memory_order_relaxed);
    ConsoleDiagnostic(name_ + " full", name_ + ":MESSAGE QUEUE HAS FILLED!!");
    return false;
  }
  StoreRing(message);
  return true;
}

bool TGameMessenger::Push(GameMessagePtr message) {
  bool kept;
  {
    std::lock_guard guard(lock_);
    kept = Store(message);
  }
  event_.SetEvent();  // also when refused: the consumer should drain what is pending
  return kept;        // a refused message is freed on return
}

void TGameMessenger::PushPriority(GameMessagePtr message) {
  {
    std::lock_guard guard(lock_);
    if (Free() > 0 && overflow_.empty())
      StoreRing(message);
    else
      overflow_.push_back(std::move(message));
  }
  event_.SetEvent();
}

void TGameMessenger::PushAll(std::vector<GameMessagePtr>& messages) {
  {
    std::lock_guard guard(lock_);
    for (GameMessagePtr& message : messages) Store(message);
  }
  messages.clear();  // frees any refused message
  event_.SetEvent();
}

GameMessagePtr TGameMessenger::Pop() {
  GameMessagePtr message;
  bool wake;
  {
    std::lock_guard guard(lock_);
    if (head_ != tail_) {
      message = std::move(ring_[head_]);
      head_ = (head_ + 1) % QUEUE_SIZE;
    } else if (!overflow_.empty()) {
      message = std::move(overflow_.front());
      overflow_.pop_front();
    } else {
      return nullptr;
    }
    wake = roomWaiters_ > 0;
  }
  if (wake) room_.notify_all();
  return message;
}

std::size_t TGameMessenger::PopAll(std::vector<GameMessagePtr>& out, std::size_t max) {
  std::size_t taken = 0;
  bool wake;
  {
    std::lock_guard guard(lock_);
    for (; taken < max && head_ != tail_; ++taken) {
      out.push_back(std::move(ring_[head_]));
      head_ = (head_ + 1) % QUEUE_SIZE;
    }
    for (; taken < max && !overflow_.empty(); ++taken) {
      out.push_back(std::move(overflow_.front()));
      overflow_.pop_front();
    }
    wake = taken > 0 && roomWaiters_ > 0;
  }
  if (wake) room_.notify_all();
  return taken;
}

std::size_t TGameMessenger::Size() const {
  std::lock_guard guard(lock_);
  return QUEUE_SIZE - 1 - Free() + overflow_.size();
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

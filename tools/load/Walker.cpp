#include "tools/load/Walker.h"

namespace zq {
namespace {

int64_t Between(std::mt19937& random, int64_t lo, int64_t hi) {
  return std::uniform_int_distribution<int64_t>(lo, hi)(random);
}

}  // namespace

uint8_t OppositeKey(uint8_t key) {
  static const uint8_t OPPOSITE[] = {0, 2, 1, 4, 3};
  return key <= 4 ? OPPOSITE[key] : 0;
}

std::optional<TKeyEvent> TWalker::Step(int64_t now, std::mt19937& random) {
  if (now < nextAt_) return std::nullopt;
  if (held_ != 0) {
    TKeyEvent up{false, held_, events_++};
    held_ = 0;
    nextAt_ = now + Between(random, times_.PauseMin, times_.PauseMax);
    return up;
  }
  int64_t hold = returnFor_;
  if (returnKey_ != 0) {
    held_ = returnKey_;
    returnKey_ = 0;
  } else {
    held_ = static_cast<uint8_t>(Between(random, 1, 4));
    hold = Between(random, times_.HoldMin, times_.HoldMax);
    if (times_.WalkBack) {
      returnKey_ = OppositeKey(held_);
      returnFor_ = hold;
    }
  }
  nextAt_ = now + hold;
  return TKeyEvent{true, held_, events_++};
}

}  // namespace zq

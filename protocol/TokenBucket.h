// TTokenBucket: a message budget of `rate` tokens a second, holding at most `burst` of them.
// Take spends a token when there is one; Borrow spends one regardless, running into debt down
// to `burst` tokens below zero. Times are GetTickCount milliseconds passed in by the caller.
// A rate of 0 switches the budget off. Plain value type, no lock.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zq {

class TTokenBucket {
 public:
  // Starts full.
  void Configure(uint32_t rate, uint32_t burst, uint32_t now) {
    rate_ = rate;
    capacity_ = static_cast<int64_t>(burst) * MILLI;
    level_ = capacity_;
    last_ = now;
  }
  bool Limited() const { return rate_ != 0; }

  // True (and one token spent) when a token is there.
  bool Take(uint32_t now) {
    if (!Limited()) return true;
    Refill(now);
    if (level_ < MILLI) return false;
    level_ -= MILLI;
    return true;
  }
  // Spends a token even without one; false, spending nothing, once the debt is at its floor.
  bool Borrow(uint32_t now) {
    if (!Limited()) return true;
    Refill(now);
    if (level_ - MILLI < -capacity_) return false;
    level_ -= MILLI;
    return true;
  }

 private:
  static constexpr int64_t MILLI = 1000;  // the level counts thousandths of a token
  static constexpr uint32_t MAX_GAP_MS = 3600 * 1000;

  void Refill(uint32_t now) {
    const uint32_t gap = std::min(now - last_, MAX_GAP_MS);  // the tick count wraps
    last_ = now;
    level_ = std::min(capacity_, level_ + static_cast<int64_t>(gap) * rate_);
  }

  uint32_t rate_ = 0;
  int64_t capacity_ = 0;
  int64_t level_ = 0;
  uint32_t last_ = 0;
};

}  // namespace zq

// TWalker: a player walking at random, as the bot's --walk and the soak's clients do: a key
// held for a while, then released for a while, then the next. With WalkBack, every step is
// followed by the opposite key held as long, so the walker stays near where it began.
// Pure: it tells the key events and when they are due; the caller sends them. One thread.
#pragma once

#include <cstdint>
#include <optional>
#include <random>

#include "tools/load/KeyEvent.h"

namespace zq {

struct TWalkTimes {
  int64_t PauseMin = 200'000, PauseMax = 800'000;  // microseconds from a KeyUp to the next step
  int64_t HoldMin = 300'000, HoldMax = 1'500'000;  // microseconds a key is held
  bool WalkBack = false;
};

// The key that walks the other way: 1 <-> 2, 3 <-> 4.
uint8_t OppositeKey(uint8_t key);

class TWalker {
 public:
  TWalker(const TWalkTimes& times, int64_t firstAt) : times_(times), nextAt_(firstAt) {}

  // The event due at `now`, if one is, numbered by Value from 0; what follows is planned with
  // `random`.
  std::optional<TKeyEvent> Step(int64_t now, std::mt19937& random);

  int64_t NextAt() const { return nextAt_; }
  uint32_t Events() const { return events_; }  // events given so far

 private:
  TWalkTimes times_;
  int64_t nextAt_;
  uint32_t events_ = 0;
  uint8_t held_ = 0;
  uint8_t returnKey_ = 0;  // WalkBack: the opposite of the last step, walked next
  int64_t returnFor_ = 0;
};

}  // namespace zq

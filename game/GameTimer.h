// TGameTimer: the game clock. Mode 2 reads the system tick count (GetTickCount);
// NextStepTime rounds it up to the next step of a fixed rate. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

namespace zq {

constexpr int32_t TIMER_MODE_TICKCOUNT = 2;

class TGameTimer {
 public:
  // Only mode 2 exists; any other raises EInternalCheck naming the mode (GameTimerU).
  explicit TGameTimer(int32_t mode = TIMER_MODE_TICKCOUNT);

  int32_t Mode() const { return mode_; }
  // Milliseconds, 32-bit, wrapping.
  uint32_t GetTime();
  // The first multiple of 1000 div `rate` strictly after GetTime, modulo 2^32.
  // `rate` must be 1..1000 (else EInternalCheck naming it).
  uint32_t NextStepTime(int32_t rate);

 private:
  int32_t mode_;
  std::recursive_mutex lock_;
};

}  // namespace zq

#include "game/GameTimer.h"

#include <string>

#include "platform/Clock.h"
#include "platform/Errors.h"

namespace zq {

namespace {
constexpr const char* MODULE = "GameTimerU";
}

TGameTimer::TGameTimer(int32_t mode) : mode_(mode) {
  if (mode != TIMER_MODE_TICKCOUNT)
    InternalCheckFailed("Unknown game timer mode " + std::to_string(mode), MODULE);
}

uint32_t TGameTimer::GetTime() {
  std::lock_guard guard(lock_);
  return GetTickCount();
}

uint32_t TGameTimer::NextStepTime(int32_t rate) {
  std::lock_guard guard(lock_);
  if (rate < 1 || rate > 1000)
    InternalCheckFailed("NextStepTime rate out of range: " + std::to_string(rate), MODULE);
  const uint32_t step = static_cast<uint32_t>(1000 / rate);
  const uint32_t t = GetTime();
  const uint32_t q = t / step;
  return (q + 1) * step;  // wraps modulo 2^32
}

}  // namespace zq

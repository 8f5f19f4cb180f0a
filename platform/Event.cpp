#include "platform/Event.h"

#include <chrono>

namespace zq {

const char* WaitResultName(TWaitResult r) {
  switch (r) {
    case TWaitResult::wrSignaled:
      return "wrSignaled";
    case TWaitResult::wrTimeout:
      return "wrTimeout";
    case TWaitResult::wrAbandoned:
      return "wrAbandoned";
    case TWaitResult::wrError:
      return "wrError";
  }
  return "wrError";
}

void TEvent::SetEvent() {
  bool wasSignaled;
  {
    std::lock_guard lock(mutex_);
    wasSignaled = signaled_;
    signaled_ = true;
  }
  if (!wasSignaled) cv_.notify_one();  // a pending signal already wakes the next wait
}

TWaitResult TEvent::WaitFor(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  bool woke = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return signaled_ || abandoned_; });
  if (abandoned_) return TWaitResult::wrAbandoned;
  if (!woke) return TWaitResult::wrTimeout;
  signaled_ = false;
  return TWaitResult::wrSignaled;
}

void TEvent::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  cv_.notify_all();
}

}  // namespace zq

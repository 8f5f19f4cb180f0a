// TEvent: an auto-reset event, created not signalled. SetEvent wakes one wait (a signal with
// nobody waiting stays until the next wait takes it); Abandon ends every wait for good.
// Any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zq {

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

const char* WaitResultName(TWaitResult r);

class TEvent {
 public:
  TEvent() = default;
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  // Waits until signalled (consuming the signal) or until the time-out passes.
  TWaitResult WaitFor(uint32_t timeoutMs);
  // Ends every present and future wait with wrAbandoned.
  void Abandon();
  // Operating-system error code of the last failed wait (0: none).
  int LastError() const { return 0; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signaled_ = false;
  bool abandoned_ = false;
};

}  // namespace zq

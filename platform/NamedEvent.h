// Named auto-reset events: creating or opening an event by a name that is in use gives the
// same event object, so a producer and a consumer meet through the name alone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zq {

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

const char* WaitResultName(TWaitResult r);

class TNamedEvent {
 public:
  // Creates the event of this name, or opens it when it exists already. Auto-reset,
  // created not signalled. The event lives while any holder keeps it.
  static std::shared_ptr<TNamedEvent> CreateEventA(const std::string& name);

  const std::string& Name() const { return name_; }
  void SetEvent();
  // Waits until signalled (consuming the signal) or until the time-out passes.
  TWaitResult WaitFor(uint32_t timeoutMs);
  // Ends every present and future wait with wrAbandoned.
  void Abandon();
  // Operating-system error code of the last failed wait (0: none).
  int LastError() const { return 0; }

  explicit TNamedEvent(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signaled_ = false;
  bool abandoned_ = false;
};

}  // namespace zq

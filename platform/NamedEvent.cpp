#include "platform/NamedEvent.h"

#include <map>

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

std::shared_ptr<TNamedEvent> TNamedEvent::CreateEventA(const std::string& name) {
  static std::mutex registryMutex;
  static std::map<std::string, std::weak_ptr<TNamedEvent>> registry;
  std::lock_guard lock(registryMutex);
  for (auto it = registry.begin(); it != registry.end();)  // drop events nobody holds
    it = it->second.expired() ? registry.erase(it) : std::next(it);
  auto& slot = registry[name];
  if (auto existing = slot.lock()) return existing;
  auto created = std::make_shared<TNamedEvent>(name);
  slot = created;
  return created;
}

void TNamedEvent::SetEvent() {
  bool wasSignaled;
  {
    std::lock_guard lock(mutex_);
    wasSignaled = signaled_;
    signaled_ = true;
  }
  if (!wasSignaled) cv_.notify_one();  // a pending signal already wakes the next wait
}

TWaitResult TNamedEvent::WaitFor(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  bool woke = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return signaled_ || abandoned_; });
  if (abandoned_) return TWaitResult::wrAbandoned;
  if (!woke) return TWaitResult::wrTimeout;
  signaled_ = false;
  return TWaitResult::wrSignaled;
}

void TNamedEvent::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  cv_.notify_all();
}

}  // namespace zq

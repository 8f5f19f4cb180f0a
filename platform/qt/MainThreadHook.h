// TMainThreadHook: lets the Qt event loop of the main thread serve a TMainThreadQueue. Every
// hand-over wakes the loop with one queued ServePending; a burst of hand-overs before it runs
// costs one posted event. Create and destroy on the main thread, before workers start and
// after they have ended.
#pragma once

#include <QObject>
#include <atomic>

#include "platform/MainThreadQueue.h"

namespace zq {

class TMainThreadHook : public QObject {
 public:
  explicit TMainThreadHook(TMainThreadQueue& queue);
  ~TMainThreadHook() override;
  TMainThreadHook(const TMainThreadHook&) = delete;
  TMainThreadHook& operator=(const TMainThreadHook&) = delete;

  // Number of wake-up events posted so far (coalesced hand-overs count once).
  unsigned long Wakeups() const { return wakeups_.load(); }

 private:
  void Wake();  // any thread
  void Serve();

  TMainThreadQueue& queue_;
  std::atomic<bool> posted_{false};
  std::atomic<unsigned long> wakeups_{0};
};

}  // namespace zq

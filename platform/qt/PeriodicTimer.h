// TPeriodicTimer: a periodic event on the main thread (QTimer underneath) whose interval is
// set by its owner, so tests can run the heartbeat fast. Main thread only.
#pragma once

#include <QTimer>
#include <functional>

namespace zq {

class TPeriodicTimer {
 public:
  explicit TPeriodicTimer(std::function<void()> onTimer);

  // The first event comes one interval after Start.
  void Start(int intervalMs);
  void Stop() { timer_.stop(); }
  bool Active() const { return timer_.isActive(); }
  int Interval() const { return timer_.interval(); }

 private:
  QTimer timer_;
  std::function<void()> onTimer_;
};

}  // namespace zq

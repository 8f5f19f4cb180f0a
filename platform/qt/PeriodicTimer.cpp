#include "platform/qt/PeriodicTimer.h"

#include "platform/qt/EventGuard.h"

namespace zq {

TPeriodicTimer::TPeriodicTimer(std::function<void()> onTimer) : onTimer_(std::move(onTimer)) {
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (onTimer_) RunGuarded("timer", onTimer_);
  });
}

void TPeriodicTimer::Start(int intervalMs) {
  timer_.start(intervalMs);
}

}  // namespace zq

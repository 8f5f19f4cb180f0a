#include "platform/qt/MainThreadHook.h"

#include "platform/qt/EventGuard.h"

namespace zq {

TMainThreadHook::TMainThreadHook(TMainThreadQueue& queue) : queue_(queue) {
  queue_.SetWakeup([this] { Wake(); });
}

TMainThreadHook::~TMainThreadHook() {
  queue_.SetWakeup(nullptr);
}

void TMainThreadHook::Wake() {
  if (posted_.exchange(true)) return;  // a ServePending is on its way already
  wakeups_.fetch_add(1);
  QMetaObject::invokeMethod(this, &TMainThreadHook::Serve, Qt::QueuedConnection);
}

void TMainThreadHook::Serve() {
  // Cleared first: a hand-over made while serving posts a fresh wake-up.
  posted_.store(false);
  RunGuarded("main thread call", [this] { queue_.ServePending(); });
}

}  // namespace zq

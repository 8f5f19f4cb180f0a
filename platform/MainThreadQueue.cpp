#include "platform/MainThreadQueue.h"

#include <chrono>

namespace zq {

TMainThreadQueue::TMainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

void TMainThreadQueue::Synchronize(const std::function<void()>& step) {
  if (IsMainThread()) {
    step();
    return;
  }
  Call call{&step, false, nullptr};
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(&call);
  }
  posted_.notify_all();
  if (wake_) wake_();
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return call.done; });
  if (call.error) std::rethrow_exception(call.error);
}

std::size_t TMainThreadQueue::ServePending() {
  std::size_t served = 0;
  for (;;) {
    Call* call;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) return served;
      call = calls_.front();
      calls_.pop_front();
    }
    std::exception_ptr error;
    try {
      (*call->step)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      call->error = error;
      call->done = true;
    }
    finished_.notify_all();
    ++served;
  }
}

void TMainThreadQueue::ServeUntil(const std::function<bool()>& done) {
  for (;;) {
    ServePending();
    if (done()) return;
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, std::chrono::milliseconds(10),
                     [this] { return !calls_.empty() || notified_; });
    notified_ = false;
  }
}

void TMainThreadQueue::Notify() {
  {
    std::lock_guard lock(mutex_);
    notified_ = true;
  }
  posted_.notify_all();
}

}  // namespace zq

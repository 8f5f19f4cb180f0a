#include "platform/MainThreadQueue.h"

#include <chrono>
#include <exception>

#include "platform/Console.h"

namespace zq {

// One handed-over step. A synchronous caller holds it too and waits for `done`.
struct TMainThreadQueue::TCall {
  std::function<void()> step;
  bool waited = false;  // Synchronize: the caller wants done and error
  bool done = false;    // guarded by the queue's mutex
  std::exception_ptr error;
};

TMainThreadQueue::TMainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

TMainThreadQueue::~TMainThreadQueue() = default;

void TMainThreadQueue::Synchronize(std::function<void()> step) {
  if (IsMainThread()) {
    step();
    return;
  }
  auto call = std::make_shared<TCall>();
  call->step = std::move(step);
  call->waited = true;
  Enqueue(call);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return call->done; });
  if (call->error) std::rethrow_exception(call->error);
}

void TMainThreadQueue::Post(std::function<void()> step) {
  if (IsMainThread()) {
    step();
    return;
  }
  auto call = std::make_shared<TCall>();
  call->step = std::move(step);
  Enqueue(std::move(call));
}

void TMainThreadQueue::Enqueue(std::shared_ptr<TCall> call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  posted_.notify_all();
  if (wake_) wake_();
}

std::size_t TMainThreadQueue::ServePending() {
  std::size_t served = 0;
  for (;;) {
    std::shared_ptr<TCall> call;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) return served;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    std::exception_ptr error;
    try {
      call->step();
    } catch (...) {
      error = std::current_exception();
    }
    ++served;
    if (!call->waited) {
      if (!error) continue;
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        ConsoleLine(std::string("Posted main-thread step failed: ") + e.what());
      } catch (...) {
        ConsoleLine("Posted main-thread step failed");
      }
      continue;
    }
    {
      std::lock_guard lock(mutex_);
      call->error = error;
      call->done = true;
    }
    finished_.notify_all();
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

std::size_t TMainThreadQueue::Pending() const {
  std::lock_guard lock(mutex_);
  return calls_.size();
}

}  // namespace zq

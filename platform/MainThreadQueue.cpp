#include "platform/MainThreadQueue.h"

#include <chrono>
#include <memory>

#include "platform/Console.h"

namespace zq {

TMainThreadQueue::TMainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

TMainThreadQueue::~TMainThreadQueue() {
  for (Call* call : calls_)
    if (call->owned) delete call;
}

void TMainThreadQueue::Synchronize(const std::function<void()>& step) {
  if (IsMainThread()) {
    step();
    return;
  }
  Call call{&step, false, nullptr, {}};
  Enqueue(&call);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return call.done; });
  if (call.error) std::rethrow_exception(call.error);
}

void TMainThreadQueue::Post(std::function<void()> step) {
  if (IsMainThread()) {
    step();
    return;
  }
  auto call = std::make_unique<Call>();
  call->owned = std::move(step);
  call->step = &call->owned;
  Enqueue(call.release());  // freed by ServePending once run
}

void TMainThreadQueue::Enqueue(Call* call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
  }
  posted_.notify_all();
  if (wake_) wake_();
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
    if (call->owned) {
      std::unique_ptr<Call> posted(call);
      if (error) {
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          ConsoleLine(std::string("Posted main-thread step failed: ") + e.what());
        } catch (...) {
          ConsoleLine("Posted main-thread step failed");
        }
      }
      ++served;
      continue;
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

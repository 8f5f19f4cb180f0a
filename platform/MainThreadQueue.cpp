#include "platform/MainThreadQueue.h"

#include <chrono>
#include <exception>

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {

// One handed-over step. A synchronous caller holds it too and waits for `done`.
struct TMainThreadQueue::TCall {
  std::function<void()> step;
  bool waited = false;          // Synchronize: the caller wants done and raise
  bool done = false;            // guarded by the queue's mutex
  std::function<void()> raise;  // throws a copy of what the step threw; empty when it did not
};

namespace {

// A thrower of a fresh copy of the exception in flight: the exception object itself never
// crosses to the waiting thread (its shared count lives where the sanitizers cannot see it).
std::function<void()> CopyOfCurrentException() {
  try {
    throw;
  } catch (const EInternalCheck& e) {
    return
        [what = std::string(e.what()), module = e.Module()] { throw EInternalCheck(what, module); };
  } catch (const EInOutError& e) {
    return [what = std::string(e.what())] { throw EInOutError(what); };
  } catch (const EConvertError& e) {
    return [what = std::string(e.what())] { throw EConvertError(what); };
  } catch (const std::exception& e) {
    return [what = std::string(e.what())] { throw std::runtime_error(what); };
  } catch (...) {
    return [] { throw std::runtime_error("Unknown exception in a main-thread step"); };
  }
}

}  // namespace

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
  if (call->raise) {
    auto raise = std::move(call->raise);
    lock.unlock();
    raise();
  }
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
    std::function<void()> raise;
    try {
      call->step();
    } catch (const std::exception& e) {
      if (!call->waited)
        ConsoleLine(TLogLevel::Error, std::string("Posted main-thread step failed: ") + e.what());
      raise = CopyOfCurrentException();
    } catch (...) {
      if (!call->waited) ConsoleLine(TLogLevel::Error, "Posted main-thread step failed");
      raise = CopyOfCurrentException();
    }
    ++served;
    if (!call->waited) continue;
    {
      std::lock_guard lock(mutex_);
      call->raise = std::move(raise);
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

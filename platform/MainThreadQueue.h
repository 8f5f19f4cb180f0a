// Calls from worker threads to the main thread: a worker hands a step over and waits until
// the main thread has run it (Synchronize), or hands it over without waiting (Post). The main
// thread serves the steps from its event loop (the wake-up hook tells it that one is waiting)
// and while it waits for a worker. The queue owns every step handed to it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zq {

class TMainThreadQueue {
 public:
  TMainThreadQueue();
  ~TMainThreadQueue();  // posted steps that never ran are freed unrun
  TMainThreadQueue(const TMainThreadQueue&) = delete;
  TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

  // Called from the handing thread after each hand-over; the event loop uses it to
  // schedule ServePending. Set before any worker starts.
  void SetWakeup(std::function<void()> wake) { wake_ = std::move(wake); }

  // Runs `step` on the main thread and returns when it has run. An exception thrown by
  // the step is raised again here. Called on the main thread itself, it runs at once.
  void Synchronize(std::function<void()> step);

  // Hands `step` over without waiting for it (steps still run in the order handed over).
  // An exception it throws is reported on the console. Called on the main thread, it runs
  // at once.
  void Post(std::function<void()> step);

  // Main thread: runs every step handed over so far, in order. Returns how many ran.
  std::size_t ServePending();

  // Main thread: serves steps until `done` returns true, waking when a step arrives or
  // Notify is called (and at least every 10 ms).
  void ServeUntil(const std::function<bool()>& done);

  // Wakes a ServeUntil to look at its condition again.
  void Notify();

  // Steps handed over and not yet run.
  std::size_t Pending() const;

  bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

 private:
  struct TCall;

  void Enqueue(std::shared_ptr<TCall> call);

  std::thread::id mainThread_;
  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<TCall>> calls_;
  bool notified_ = false;
};

}  // namespace zq

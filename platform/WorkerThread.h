// Worker threads with a terminate flag, a body (`Execute`) and synchronous calls to the
// main thread. WaitFor, on the main thread, keeps serving those calls until the body ends.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "platform/MainThreadQueue.h"

namespace zq {

class TThread {
 public:
  explicit TThread(TMainThreadQueue& main) : main_(main) {}
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Begins running Execute on a thread of its own (once).
  void Start();
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  // Main thread: waits for the end of Execute while serving the thread's calls; returns at
  // once for a thread that was never started.
  void WaitFor();

 protected:
  virtual void Execute() = 0;
  // Runs `step` on the main thread; the worker waits until it has run.
  void Synchronize(std::function<void()> step) { main_.Synchronize(std::move(step)); }
  TMainThreadQueue& MainQueue() { return main_; }

 private:
  void Run();

  TMainThreadQueue& main_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace zq

#include "platform/JobThread.h"

#include <exception>

#include "platform/Console.h"

namespace zq {

TJobThread::TJobThread() : thread_([this] { Run(); }) {}

TJobThread::~TJobThread() {
  Stop();
}

bool TJobThread::Add(std::function<void()> job) {
  {
    std::lock_guard guard(lock_);
    if (stopping_) return false;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void TJobThread::Stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  std::lock_guard joining(joinLock_);  // one caller joins; the others wait for it
  if (thread_.joinable()) thread_.join();
}

// Job thread.
void TJobThread::Run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and nothing left to run
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job();
    } catch (const std::exception& e) {
      ConsoleLine(TLogLevel::Error, std::string("Job failed: ") + e.what());
    }
  }
}

}  // namespace zq

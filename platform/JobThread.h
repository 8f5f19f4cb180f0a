// TJobThread: one thread that runs jobs in the order they are handed over, for work that may
// wait (a database write behind a lock, a password hash) and must not hold up the thread
// that hands it over. Stop runs what is queued, then ends the thread; jobs handed over after
// Stop are refused. Add and Stop: any thread but the job thread itself.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zq {

class TJobThread {
 public:
  TJobThread();
  ~TJobThread();  // stops as Stop does
  TJobThread(const TJobThread&) = delete;
  TJobThread& operator=(const TJobThread&) = delete;

  // Queues `job`; false (and the job dropped unrun) once stopping. An exception a job throws
  // is reported on the console.
  bool Add(std::function<void()> job);
  // Runs every queued job, then ends the thread. Calling it again does nothing.
  void Stop();

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;  // guarded by lock_
  bool stopping_ = false;                   // guarded by lock_
  std::mutex joinLock_;
  std::thread thread_;
};

}  // namespace zq

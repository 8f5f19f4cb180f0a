// TLoginWorker: checks logins off the server's main and game threads. One or two threads
// take requests from a bounded queue, decide each with TLoginCheck (store look-up and hash
// check) and call the completion callback on the worker thread with the verdict; the server
// posts it on to its main thread. Submit never waits.
// Stopping: requests already being checked finish and are answered; those still queued are
// dropped unanswered, and Stop hands back their serials. No callback runs after Stop.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "accounts/LoginCheck.h"
#include "accounts/Times.h"
#include "platform/Histogram.h"

namespace zq {

// The buckets of the login check time, in seconds: a refusal without a hash takes
// microseconds, a hash tens to hundreds of milliseconds.
inline const std::vector<double> LOGIN_CHECK_BOUNDS = {0.0001, 0.001, 0.01, 0.025, 0.05, 0.1,
                                                       0.25,   0.5,   1,    2.5,   5};

// Runs on a worker thread; must not throw, and must not call Stop.
using TLoginDone = std::function<void(TLoginVerdict verdict)>;

class TLoginWorker {
 public:
  // Room for a login from every connection the socket table can hold.
  static constexpr std::size_t DEFAULT_CAPACITY = 64;

  // `threads` is 1 or 2 (each hash takes a core and, interactive, 64 MiB).
  TLoginWorker(TLoginCheck& check, TLoginDone done, TWallClock clock = SystemWallClock,
               int threads = 1, std::size_t capacity = DEFAULT_CAPACITY);
  ~TLoginWorker();  // stops as Stop does
  TLoginWorker(const TLoginWorker&) = delete;
  TLoginWorker& operator=(const TLoginWorker&) = delete;

  // Any thread. False when the queue is full or the worker has stopped: the server then
  // refuses the login itself (TLoginOutcome::ServerBusy).
  bool Submit(TLoginRequest request);
  // Any thread but a worker's. Waits for the requests being checked; returns the serials of
  // those dropped from the queue. Calling it again returns nothing.
  std::vector<uint64_t> Stop();
  // Requests waiting to be taken by a worker. Any thread.
  std::size_t Queued();
  // How long each login's decision took (the account look-up and the hash). Any thread.
  const TDurationHistogram& CheckDurations() const { return checkDurations_; }

 private:
  void Run();

  TLoginCheck& check_;
  TLoginDone done_;
  TWallClock clock_;
  std::size_t capacity_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<TLoginRequest> queue_;  // guarded by lock_
  bool stopping_ = false;            // guarded by lock_
  std::mutex observeLock_;           // one worker observes at a time
  TDurationHistogram checkDurations_{LOGIN_CHECK_BOUNDS};
  std::vector<std::thread> threads_;
};

}  // namespace zq

// TAccountService: the running server's side of the accounts file. Logins are checked by the
// login worker; writes and anything else that may wait run on a job thread; results come
// back to the main thread as posted steps. The main thread reads through a connection of its
// own (WAL: a reader never waits for a writer, nor for the workers' lock). Main thread
// API; once Stop has run, no step of it runs any more.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "accounts/LoginWorker.h"
#include "platform/JobThread.h"
#include "platform/MainThreadQueue.h"

namespace zq {

// One thread checks logins: the other core stays free for the event loop and the game.
constexpr int LOGIN_THREADS = 1;

struct TAccountServiceOptions {
  std::string Path;
  TAuthMode Mode = TAuthMode::Open;
  // Null: Argon2id at TArgon2Hasher::Moderate().
  std::shared_ptr<const TPasswordHasher> Hasher;
  int LoginThreads = LOGIN_THREADS;
};

// Runs on the job thread with the workers' connection; the step it returns, if any, runs on
// the main thread afterwards.
using TAccountJob = std::function<std::function<void()>(TAccountStore& store)>;

class TAccountService {
 public:
  // Opens (or creates) the file; raises EInOutError naming it. `onVerdict` runs on the main
  // thread for each login checked.
  TAccountService(TMainThreadQueue& main, TAccountServiceOptions options,
                  std::function<void(TLoginVerdict)> onVerdict);
  ~TAccountService();
  TAccountService(const TAccountService&) = delete;
  TAccountService& operator=(const TAccountService&) = delete;

  const std::string& Path() const { return reads_->Path(); }
  TAuthMode Mode() const { return check_->Mode(); }
  void SetMode(TAuthMode mode) { check_->SetMode(mode); }
  const TPasswordHasher& Hasher() const { return *hasher_; }

  // False when the login queue is full (or stopped): the caller refuses the login.
  bool SubmitLogin(TLoginRequest request);
  // Logins waiting for the login worker (any thread); tests look at it to know that Stop has
  // emptied the queue.
  std::size_t QueuedLogins() { return logins_->Queued(); }
  // How long the login worker took to decide each login (any thread).
  const TDurationHistogram& LoginCheckDurations() const { return logins_->CheckDurations(); }
  // Posts `step` to the main thread, to run later, as the verdicts and job results do: only
  // while the service has not stopped.
  void PostMain(std::function<void()> step);
  // Queues `job`; an exception it throws becomes `onError(text)` on the main thread.
  void Run(TAccountJob job, std::function<void(const std::string&)> onError = {});
  // The main thread's connection, for reads only.
  TAccountStore& Reads() { return *reads_; }
  // Opens the file again, on both connections (the workers' on the job thread).
  void Reopen();
  // Ends the login worker (its queued requests are dropped: their serials are returned),
  // then runs the queued jobs and ends the job thread. Steps not yet run are dropped.
  std::vector<uint64_t> Stop();

 private:
  TMainThreadQueue& main_;
  std::shared_ptr<bool> running_ = std::make_shared<bool>(true);  // main thread
  std::unique_ptr<TAccountStore> reads_;
  std::unique_ptr<TAccountStore> store_;  // login worker and job thread
  std::shared_ptr<const TPasswordHasher> hasher_;
  TLoginLimits limits_;
  std::unique_ptr<TLoginCheck> check_;
  std::function<void(TLoginVerdict)> onVerdict_;
  std::unique_ptr<TLoginWorker> logins_;
  std::unique_ptr<TJobThread> jobs_;
};

}  // namespace zq

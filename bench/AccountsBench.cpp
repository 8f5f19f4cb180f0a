// Login costs: an account look-up and a ban check on a file of 1000 of each, the look at
// whether another connection has written the file (each heartbeat cycle), one Argon2id hash
// check at the interactive limits, and a burst of 63 claim-mode logins through the login
// worker with one and with two threads (wall time until the last verdict).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "accounts/LoginWorker.h"

namespace {

using namespace zq;

// An accounts file in a fresh temporary directory, removed afterwards.
class BenchFile {
 public:
  BenchFile() {
    char pattern[] = "/tmp/zqbench-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = dir_ + "/zqosrv.db";
  }
  ~BenchFile() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
    rmdir(dir_.c_str());
  }
  const std::string& Path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
};

void Fill(TAccountStore& store, int count) {
  for (int i = 0; i < count; ++i) {
    TAccount account;
    account.Name = "Player" + std::to_string(i);
    account.PasswordHash = "h";
    store.Add(account);
    TBan ban;
    ban.Target =
        ParseBanTarget("10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".0/24");
    store.Bans().Add(ban);
  }
}

void BM_FindAccount(benchmark::State& state) {
  BenchFile file;
  TAccountStore store(file.Path());
  Fill(store, 1000);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.Find("player" + std::to_string(i++ % 1000)));
  }
}
BENCHMARK(BM_FindAccount);

void BM_AddressBanCheck(benchmark::State& state) {
  BenchFile file;
  TAccountStore store(file.Path());
  Fill(store, 1000);
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.Bans().FindForAddress("127.0.0.1", 0));  // no ban applies
  }
}
BENCHMARK(BM_AddressBanCheck);

// Nothing written elsewhere: the look of every heartbeat cycle on a quiet file.
void BM_ChangedElsewhere(benchmark::State& state) {
  BenchFile file;
  TAccountStore store(file.Path());
  Fill(store, 1000);
  for (auto _ : state) benchmark::DoNotOptimize(store.ChangedElsewhere());
}
BENCHMARK(BM_ChangedElsewhere);

void BM_VerifyInteractive(benchmark::State& state) {
  TArgon2Hasher hasher;
  std::string hash = hasher.Hash("password");
  for (auto _ : state) benchmark::DoNotOptimize(hasher.Verify(hash, "password"));
}
BENCHMARK(BM_VerifyInteractive)->Unit(benchmark::kMillisecond);

// 63 new names claimed at once: each login hashes once at the interactive limits.
void BM_ClaimBurst63(benchmark::State& state) {
  TArgon2Hasher hasher;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BenchFile file;
    TAccountStore store(file.Path());
    TLoginLimits limits;  // afresh: each round makes 63 of the 64 logins an address has a minute
    TLoginCheck check(store, hasher, limits, TAuthMode::Claim);
    std::mutex lock;
    std::condition_variable done;
    int answered = 0;
    TLoginWorker worker(
        check,
        [&](TLoginVerdict) {
          std::lock_guard guard(lock);
          ++answered;
          done.notify_all();
        },
        SystemWallClock, static_cast<int>(state.range(0)));
    state.ResumeTiming();
    for (int i = 0; i < 63; ++i) {
      worker.Submit({"Player" + std::to_string(i), "pw", "127.0.0.1", uint64_t(round * 63 + i)});
    }
    std::unique_lock guard(lock);
    done.wait(guard, [&] { return answered == 63; });
    ++round;
  }
}
BENCHMARK(BM_ClaimBurst63)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

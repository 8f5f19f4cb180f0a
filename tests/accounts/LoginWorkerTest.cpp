// The login worker: a slow hash never holds up the caller, callbacks come on a worker thread,
// the queue's bound, what Stop answers and drops, and racing claims of one name.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "accounts/LoginWorker.h"
#include "tests/support/GateHasher.h"
#include "tests/support/PollUntil.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

using namespace std::chrono_literals;
using test::GateHasher;
using test::TempDir;

constexpr auto GENEROUS = 30s;  // bounds every wait; a loaded machine stays well inside

// Collects verdicts from the worker threads.
class Answers {
 public:
  TLoginDone Callback() {
    return [this](TLoginVerdict verdict) {
      std::lock_guard guard(lock_);
      threads_.insert(std::this_thread::get_id());
      verdicts_.push_back(std::move(verdict));
      changed_.notify_all();
    };
  }
  bool WaitFor(std::size_t count) {
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, GENEROUS, [&] { return verdicts_.size() >= count; });
  }
  std::vector<TLoginVerdict> Verdicts() {
    std::lock_guard guard(lock_);
    return verdicts_;
  }
  std::set<std::thread::id> Threads() {
    std::lock_guard guard(lock_);
    return threads_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<TLoginVerdict> verdicts_;
  std::set<std::thread::id> threads_;
};

TLoginRequest Request(const std::string& name, const std::string& password, uint64_t serial) {
  return {name, password, "127.0.0.1", serial};
}

struct Fixture {
  TempDir dir;
  TAccountStore store{dir / "zqosrv.db"};
  TLoginLimits limits;
};

TEST(LoginWorker, SlowHashLeavesTheCallerFreeAndAnswersOnTheWorker) {
  Fixture f;
  GateHasher hasher;
  TLoginCheck check(f.store, hasher, f.limits, TAuthMode::Claim);
  Answers answers;
  TLoginWorker worker(check, answers.Callback(), [] { return int64_t{1000}; });
  ASSERT_TRUE(worker.Submit(Request("Slowpoke", "pw", 7)));
  ASSERT_TRUE(hasher.WaitEntered(1));  // the worker is inside the hash, held there
  EXPECT_TRUE(answers.Verdicts().empty());
  ASSERT_TRUE(worker.Submit(Request("Second", "pw", 8)));  // the caller goes on meanwhile
  hasher.Open();
  ASSERT_TRUE(answers.WaitFor(2));
  std::vector<TLoginVerdict> verdicts = answers.Verdicts();
  EXPECT_EQ(verdicts[0].Serial, 7u);
  EXPECT_TRUE(verdicts[0].Accepted());
  EXPECT_TRUE(verdicts[0].AccountCreated);
  EXPECT_EQ(verdicts[1].Serial, 8u);
  EXPECT_EQ(f.store.Find("slowpoke")->Created, 1000);  // the worker's clock
  EXPECT_EQ(answers.Threads().count(std::this_thread::get_id()), 0u);
  // Each decision is timed before its answer; the held hash took longer than none.
  EXPECT_EQ(worker.CheckDurations().Read().Count, 2u);
  EXPECT_GT(worker.CheckDurations().Nanoseconds().Max(), 0);
}

TEST(LoginWorker, BoundedQueueAndStopAnswersTheCurrentDropsTheRest) {
  Fixture f;
  GateHasher hasher;
  TLoginCheck check(f.store, hasher, f.limits, TAuthMode::Claim);
  Answers answers;
  TLoginWorker worker(check, answers.Callback(), SystemWallClock, 1, 2);
  ASSERT_TRUE(worker.Submit(Request("a", "pw", 1)));
  ASSERT_TRUE(hasher.WaitEntered(1));  // 1 is taken; 2 and 3 fill the queue of two
  ASSERT_TRUE(worker.Submit(Request("b", "pw", 2)));
  ASSERT_TRUE(worker.Submit(Request("c", "pw", 3)));
  EXPECT_FALSE(worker.Submit(Request("d", "pw", 4)));

  std::vector<uint64_t> dropped;
  std::thread stopper([&] { dropped = worker.Stop(); });
  // Only Stop empties the queue while the worker is held in the hash.
  EXPECT_TRUE(test::PollUntil([&] { return worker.Queued() == 0; }, GENEROUS));
  EXPECT_FALSE(worker.Submit(Request("refused", "pw", 98)));  // room, but stopping
  hasher.Open();
  stopper.join();
  EXPECT_EQ(dropped, (std::vector<uint64_t>{2, 3}));
  std::vector<TLoginVerdict> verdicts = answers.Verdicts();
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_EQ(verdicts[0].Serial, 1u);
  EXPECT_FALSE(worker.Submit(Request("late", "pw", 5)));
  EXPECT_TRUE(worker.Stop().empty());
}

TEST(LoginWorker, RacingClaimsOfOneNameCreateOneAccount) {
  Fixture f;
  TArgon2Hasher hasher(TArgon2Hasher::Minimum());
  TLoginCheck check(f.store, hasher, f.limits, TAuthMode::Claim);
  Answers answers;
  TLoginWorker worker(check, answers.Callback(), SystemWallClock, 2);
  constexpr int COUNT = 16;
  for (int i = 0; i < COUNT; ++i) {
    // Even serials use one password, odd ones another: only one of the two can win.
    TLoginRequest request = Request("Contested", i % 2 ? "odd" : "even", i);
    request.Address = "127.0.1." + std::to_string(i);  // losers' failures block no one
    ASSERT_TRUE(worker.Submit(std::move(request)));
  }
  ASSERT_TRUE(answers.WaitFor(COUNT));
  worker.Stop();
  EXPECT_EQ(worker.CheckDurations().Read().Count, static_cast<uint64_t>(COUNT));  // both threads
  int created = 0;
  std::map<bool, int> acceptedByParity;
  for (const TLoginVerdict& v : answers.Verdicts()) {
    created += v.AccountCreated;
    if (v.Accepted())
      ++acceptedByParity[v.Serial % 2 == 1];
    else
      EXPECT_EQ(v.Outcome, TLoginOutcome::WrongNameOrPassword);
  }
  EXPECT_EQ(created, 1);
  ASSERT_EQ(acceptedByParity.size(), 1u);  // every winner used the same password
  EXPECT_EQ(acceptedByParity.begin()->second, COUNT / 2);
  EXPECT_EQ(f.store.List().size(), 1u);
}

}  // namespace
}  // namespace zq

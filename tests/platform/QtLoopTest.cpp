// The Qt-side hooks of the main thread: TMainThreadHook serving worker calls from the event
// loop, TSignalWatcher turning SIGTERM/SIGINT into loop callbacks, TPeriodicTimer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Errors.h"
#include "platform/WorkerThread.h"
#include "platform/qt/MainThreadHook.h"
#include "platform/qt/PeriodicTimer.h"
#include "platform/qt/SignalWatcher.h"
#include "tests/platform/QtTestSupport.h"

namespace zq {
namespace {

using test::PumpUntil;

class CallingThread : public TThread {
 public:
  CallingThread(TMainThreadQueue& main, std::vector<int>& log, int calls)
      : TThread(main), log_(log), calls_(calls) {}
  std::atomic<int> offMain{0};
  std::string error;

 protected:
  void Execute() override {
    for (int i = 0; i < calls_ && !Terminated(); ++i) {
      Synchronize([&] {
        if (!MainQueue().IsMainThread()) ++offMain;
        log_.push_back(i);
      });
    }
    try {
      Synchronize([] { throw EInOutError("step failed"); });
    } catch (const EInOutError& e) {
      error = e.what();
    }
  }

 private:
  std::vector<int>& log_;
  int calls_;
};

TEST(MainThreadHookTest, EventLoopServesWorkerCallsInOrder) {
  test::EnsureApp();
  TMainThreadQueue queue;
  TMainThreadHook hook(queue);
  std::vector<int> log;
  CallingThread worker(queue, log, 300);
  worker.Start();
  ASSERT_TRUE(PumpUntil([&] { return worker.Finished(); }, 60000));
  worker.WaitFor();
  ASSERT_EQ(log.size(), 300u);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(log[i], i);
  EXPECT_EQ(worker.offMain.load(), 0);
  EXPECT_EQ(worker.error, "step failed") << "the exception travels back to the worker";
  EXPECT_GE(hook.Wakeups(), 1u);
  EXPECT_LE(hook.Wakeups(), 301u);
}

TEST(MainThreadHookTest, BurstOfPostsCoalescesIntoOneWakeup) {
  test::EnsureApp();
  TMainThreadQueue queue;
  TMainThreadHook hook(queue);
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  // Eight threads hand steps over while the loop is not running: one wake-up serves them all.
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      queue.Synchronize([] {});
      ++done;
    });
  for (int i = 0; i < 6000 && queue.Pending() < 8; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(queue.Pending(), 8u);
  ASSERT_TRUE(PumpUntil([&] { return done.load() == 8; }));
  for (auto& t : threads) t.join();
  EXPECT_EQ(hook.Wakeups(), 1u) << "steps waiting together share a wake-up";
}

TEST(SignalWatcherTest, SignalsBecomeLoopCallbacksAndHandlersAreRestored) {
  test::EnsureApp();
  static std::atomic<int> previousCalls;
  previousCalls = 0;
  struct sigaction mine {
  }, old{};
  mine.sa_handler = [](int) { ++previousCalls; };
  sigemptyset(&mine.sa_mask);
  ::sigaction(SIGTERM, &mine, &old);
  {
    std::vector<int> seen;
    TSignalWatcher watcher([&](int number) {
      seen.push_back(number);
      if (seen.size() == 1) std::raise(SIGINT);  // a second signal while handling the first
    });
    EXPECT_THROW(TSignalWatcher([](int) {}), EInternalCheck);
    std::raise(SIGTERM);
    EXPECT_TRUE(seen.empty()) << "the callback runs in the loop, not in the handler";
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGINT}));
    EXPECT_EQ(previousCalls.load(), 0);
  }
  std::raise(SIGTERM);
  EXPECT_EQ(previousCalls.load(), 1) << "the previous handler is back";
  ::sigaction(SIGTERM, &old, nullptr);
}

TEST(PeriodicTimerTest, FiresRepeatedlyAtItsInterval) {
  test::EnsureApp();
  int fired = 0;
  TPeriodicTimer timer([&] { ++fired; });
  timer.Start(5);
  EXPECT_EQ(timer.Interval(), 5);
  ASSERT_TRUE(PumpUntil([&] { return fired >= 3; }));
  timer.Stop();
  int atStop = fired;
  test::PumpFor(50);
  EXPECT_EQ(fired, atStop);
}

}  // namespace
}  // namespace zq

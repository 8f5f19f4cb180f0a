// TEvent: auto-reset, time-outs, abandonment, cross-thread wake-ups.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/Event.h"

namespace zq {
namespace {

TEST(EventTest, AutoResetConsumesOneSignalPerWait) {
  TEvent e;
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrTimeout) << "created not signalled";
  e.SetEvent();
  e.SetEvent();  // signals do not count up
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrTimeout);
  EXPECT_EQ(e.WaitFor(20), TWaitResult::wrTimeout);
  EXPECT_STREQ(WaitResultName(TWaitResult::wrTimeout), "wrTimeout");
  EXPECT_STREQ(WaitResultName(TWaitResult::wrAbandoned), "wrAbandoned");
}

TEST(EventTest, SignalFromAnotherThreadWakesTheWaiter) {
  TEvent e;
  std::mutex lock;
  std::condition_variable changed;
  int woke = 0;
  std::thread waiter([&] {
    for (int i = 0; i < 3; ++i) {
      if (e.WaitFor(60000) != TWaitResult::wrSignaled) continue;
      std::lock_guard guard(lock);
      ++woke;
      changed.notify_all();
    }
  });
  // One signal at a time, each after the wake-up before it: signals do not count up.
  for (int i = 1; i <= 3; ++i) {
    e.SetEvent();
    std::unique_lock guard(lock);
    EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(60), [&] { return woke == i; }))
        << "wake-up " << i;
  }
  waiter.join();
  EXPECT_EQ(woke, 3);
}

TEST(EventTest, AbandonEndsPresentAndFutureWaits) {
  TEvent e;
  std::promise<void> waiting;
  TWaitResult result = TWaitResult::wrError;
  std::thread waiter([&] {
    waiting.set_value();
    result = e.WaitFor(600000);
  });
  EXPECT_EQ(waiting.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
  e.Abandon();  // before or during the wait: either way it ends
  waiter.join();
  EXPECT_EQ(result, TWaitResult::wrAbandoned);
  e.SetEvent();
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrAbandoned) << "abandonment outranks a signal";
}

}  // namespace
}  // namespace zq

// TEvent: auto-reset, time-outs, abandonment, cross-thread wake-ups.
#include <gtest/gtest.h>

#include <atomic>
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
  std::atomic<int> woke{0};
  std::thread waiter([&] {
    for (int i = 0; i < 3; ++i)
      if (e.WaitFor(60000) == TWaitResult::wrSignaled) ++woke;
  });
  for (int i = 0; i < 3; ++i) {
    int before = woke.load();
    e.SetEvent();
    for (int n = 0; n < 6000 && woke.load() == before; ++n)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  waiter.join();
  EXPECT_EQ(woke.load(), 3);
}

TEST(EventTest, AbandonEndsPresentAndFutureWaits) {
  TEvent e;
  std::atomic<bool> waiting{false};
  TWaitResult result = TWaitResult::wrError;
  std::thread waiter([&] {
    waiting = true;
    result = e.WaitFor(600000);
  });
  for (int n = 0; n < 2000 && !waiting; ++n)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  e.Abandon();  // before or during the wait: either way it ends
  waiter.join();
  EXPECT_EQ(result, TWaitResult::wrAbandoned);
  e.SetEvent();
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrAbandoned) << "abandonment outranks a signal";
}

}  // namespace
}  // namespace zq

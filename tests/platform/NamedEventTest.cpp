// TNamedEvent: meeting by name, auto-reset, time-outs, abandonment, cross-thread wake-ups.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/NamedEvent.h"

namespace zq {
namespace {

TEST(NamedEventTest, SameNameGivesSameEventUntilNobodyHoldsIt) {
  auto a = TNamedEvent::CreateEventA("ZQO-TEST-SAME");
  auto b = TNamedEvent::CreateEventA("ZQO-TEST-SAME");
  auto other = TNamedEvent::CreateEventA("ZQO-TEST-OTHER");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, other);
  EXPECT_EQ(a->Name(), "ZQO-TEST-SAME");
  a->SetEvent();
  EXPECT_EQ(other->WaitFor(0), TWaitResult::wrTimeout) << "events of other names stay clear";
  EXPECT_EQ(b->WaitFor(0), TWaitResult::wrSignaled);
  // Once released by every holder, the name makes a fresh, unsignalled event.
  a->SetEvent();
  a.reset();
  b.reset();
  auto fresh = TNamedEvent::CreateEventA("ZQO-TEST-SAME");
  EXPECT_EQ(fresh->WaitFor(0), TWaitResult::wrTimeout);
}

TEST(NamedEventTest, AutoResetConsumesOneSignalPerWait) {
  auto e = TNamedEvent::CreateEventA("ZQO-TEST-RESET");
  EXPECT_EQ(e->WaitFor(0), TWaitResult::wrTimeout) << "created not signalled";
  e->SetEvent();
  e->SetEvent();  // signals do not count up
  EXPECT_EQ(e->WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(e->WaitFor(0), TWaitResult::wrTimeout);
  EXPECT_EQ(e->WaitFor(20), TWaitResult::wrTimeout);
  EXPECT_STREQ(WaitResultName(TWaitResult::wrTimeout), "wrTimeout");
  EXPECT_STREQ(WaitResultName(TWaitResult::wrAbandoned), "wrAbandoned");
}

TEST(NamedEventTest, SignalFromAnotherThreadWakesTheWaiter) {
  auto consumer = TNamedEvent::CreateEventA("ZQO-TEST-CROSS");
  std::atomic<int> woke{0};
  std::thread waiter([&] {
    for (int i = 0; i < 3; ++i)
      if (consumer->WaitFor(60000) == TWaitResult::wrSignaled) ++woke;
  });
  auto producer = TNamedEvent::CreateEventA("ZQO-TEST-CROSS");
  for (int i = 0; i < 3; ++i) {
    int before = woke.load();
    producer->SetEvent();
    for (int n = 0; n < 6000 && woke.load() == before; ++n)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  waiter.join();
  EXPECT_EQ(woke.load(), 3);
}

TEST(NamedEventTest, AbandonEndsPresentAndFutureWaits) {
  auto e = TNamedEvent::CreateEventA("ZQO-TEST-ABANDON");
  std::atomic<bool> waiting{false};
  TWaitResult result = TWaitResult::wrError;
  std::thread waiter([&] {
    waiting = true;
    result = e->WaitFor(600000);
  });
  for (int n = 0; n < 2000 && !waiting; ++n)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  e->Abandon();
  waiter.join();
  EXPECT_EQ(result, TWaitResult::wrAbandoned);
  e->SetEvent();
  EXPECT_EQ(e->WaitFor(0), TWaitResult::wrAbandoned) << "abandonment outranks a signal";
}

}  // namespace
}  // namespace zq

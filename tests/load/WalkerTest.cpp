// The random walk of the bot and the soak: key down, key up, in the times asked for, and
// with WalkBack every step undone by the opposite one held as long.
#include "tools/load/Walker.h"

#include <gtest/gtest.h>

#include <vector>

namespace zq {
namespace {

struct TTimed {
  int64_t At = 0;
  TKeyEvent Event;
};

// Steps the walker at every millisecond for `ms`.
std::vector<TTimed> Walk(TWalker& w, std::mt19937& random, int64_t ms) {
  std::vector<TTimed> events;
  for (int64_t t = 0; t < ms * 1000; t += 1000)
    if (std::optional<TKeyEvent> e = w.Step(t, random)) events.push_back({t, *e});
  return events;
}

TEST(Walker, DownAndUpAlternateWithinTheTimesAsked) {
  std::mt19937 random(7);
  const TWalkTimes times{200'000, 800'000, 300'000, 1'500'000, false};
  TWalker w(times, 50'000);
  const std::vector<TTimed> events = Walk(w, random, 60'000);
  ASSERT_GT(events.size(), 40u);
  EXPECT_EQ(events[0].At, 50'000);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TKeyEvent& e = events[i].Event;
    EXPECT_EQ(e.Value, i);
    EXPECT_EQ(e.Down, i % 2 == 0);
    EXPECT_GE(e.Key, 1);
    EXPECT_LE(e.Key, 4);
    if (i == 0) continue;
    const int64_t gap = events[i].At - events[i - 1].At;
    if (e.Down) {  // after a pause
      EXPECT_GE(gap, times.PauseMin);
      EXPECT_LE(gap, times.PauseMax + 1000);
    } else {  // the held key let go after its hold
      EXPECT_EQ(e.Key, events[i - 1].Event.Key);
      EXPECT_GE(gap, times.HoldMin);
      EXPECT_LE(gap, times.HoldMax + 1000);
    }
  }
  EXPECT_EQ(w.Events(), events.size());
}

TEST(Walker, WalkingBackUndoesEveryStepHeldAsLong) {
  std::mt19937 random(11);
  TWalker w(TWalkTimes{200'000, 800'000, 250'000, 1'500'000, true}, 0);
  const std::vector<TTimed> events = Walk(w, random, 120'000);
  ASSERT_GE(events.size(), 8u);
  // Net displacement per axis, in microseconds held: back to zero after every pair of steps.
  int64_t x = 0, y = 0;
  int64_t heldSince = 0, firstHold = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TKeyEvent& e = events[i].Event;
    if (e.Down) {
      heldSince = events[i].At;
      continue;
    }
    const int64_t held = events[i].At - heldSince;
    (e.Key <= 2 ? y : x) += (e.Key == 1 || e.Key == 3 ? -held : held);
    const std::size_t step = i / 2;  // the step this KeyUp ends
    if (step % 2 == 0) {
      firstHold = held;
    } else {
      EXPECT_EQ(e.Key, OppositeKey(events[i - 2].Event.Key)) << "step " << step;
      EXPECT_EQ(held, firstHold) << "step " << step;
      EXPECT_EQ(x, 0);
      EXPECT_EQ(y, 0);
    }
  }
  EXPECT_EQ(OppositeKey(1), 2);
  EXPECT_EQ(OppositeKey(4), 3);
  EXPECT_EQ(OppositeKey(9), 0);
}

}  // namespace
}  // namespace zq

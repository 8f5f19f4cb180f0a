#include "game/GameTimer.h"

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "platform/Errors.h"

namespace zq {
namespace {

using test::FakeClock;

TEST(GameTimer, NextStepTimeRoundsUpToTheNextQuarterSecond) {
  FakeClock clock;
  TGameTimer timer;
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0, 250},    {1, 250},     {249, 250},   {250, 500},
      {999, 1000}, {1000, 1250}, {1249, 1250}, {4294967295u, 204},  // (q + 1) * 250 wraps
  };
  for (auto [tick, want] : cases) {
    FakeClock::Set(tick);
    EXPECT_EQ(timer.GetTime(), tick);
    EXPECT_EQ(timer.NextStepTime(4), want) << "tick " << tick;
  }
  FakeClock::Set(1000);
  EXPECT_EQ(timer.NextStepTime(3), 1332u);  // step 333: 4 * 333
  EXPECT_EQ(timer.NextStepTime(1000), 1001u);
}

TEST(GameTimer, RejectsUnknownModesAndRates) {
  FakeClock clock;
  EXPECT_THROW(TGameTimer(1), EInternalCheck);
  TGameTimer timer;
  EXPECT_EQ(timer.Mode(), 2);
  EXPECT_THROW(timer.NextStepTime(0), EInternalCheck);
  EXPECT_THROW(timer.NextStepTime(-4), EInternalCheck);
  EXPECT_THROW(timer.NextStepTime(1001), EInternalCheck);
  EXPECT_EQ(timer.NextStepTime(4), 250u);  // the lock survived the failures
}

}  // namespace
}  // namespace zq

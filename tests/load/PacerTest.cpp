// The load's pacing: the staggered schedule, the end as a hard bound, the catch-up limit and
// the wait it asks for.
#include "tools/load/Pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace zq {
namespace {

constexpr int64_t START = 1'000'000;

TEST(Pacer, SendersAreStaggeredOverOnePeriodAndStopBeforeTheEnd) {
  // 4 senders at 10 a second for 1 s: periods of 100 ms, offsets of 25 ms.
  TPacer p(4, 10, START, START + 1'000'000);
  EXPECT_EQ(p.Period(), 100'000);
  // Walk the clock in steps of 1 ms, recording when each send is taken.
  std::vector<std::vector<int64_t>> taken(4);
  for (int64_t t = START; t < START + 1'200'000; t += 1000)
    for (std::size_t i = 0; i < 4; ++i)
      for (int n = p.Take(i, t); n > 0; --n) taken[i].push_back(t - START);
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_EQ(taken[i].size(), 10u) << "sender " << i;
    for (std::size_t k = 0; k < 10; ++k)
      EXPECT_EQ(taken[i][k], static_cast<int64_t>(i) * 25'000 + static_cast<int64_t>(k) * 100'000);
  }
  EXPECT_EQ(p.NextAt(), p.End());  // nothing left
  EXPECT_EQ(p.Take(0, START + 5'000'000), 0);
}

TEST(Pacer, ALateSenderCatchesUpAtMostFourAtATimeAndNeverPastTheEnd) {
  TPacer p(1, 100, START, START + 95'000);  // due at 0, 10, ..., 90 ms: ten sends
  EXPECT_EQ(p.Take(0, START - 1), 0);
  // 65 ms late: seven are due, four taken now, the other three in the next rounds.
  EXPECT_EQ(p.Take(0, START + 65'000), 4);
  EXPECT_EQ(p.NextAt(), START + 40'000);
  EXPECT_EQ(p.Take(0, START + 65'000), 3);
  EXPECT_EQ(p.Take(0, START + 65'000), 0);
  EXPECT_EQ(p.NextAt(), START + 70'000);
  // Far past the end: only the three left before it.
  EXPECT_EQ(p.Take(0, START + 10'000'000), 3);
  EXPECT_EQ(p.Take(0, START + 10'000'000), 0);
}

TEST(Pacer, WaitRoundsUpToTheNextSendAndStaysWithinItsBound) {
  TPacer p(2, 10, START, START + 1'000'000);  // sender 1 first due at 50 ms
  EXPECT_EQ(p.WaitMs(START, 10), 0);          // sender 0 due now
  p.Take(0, START);
  EXPECT_EQ(p.NextAt(), START + 50'000);
  EXPECT_EQ(p.WaitMs(START + 49'500, 10), 1);  // 0.5 ms: a whole one, not zero
  EXPECT_EQ(p.WaitMs(START + 45'000, 10), 6);
  EXPECT_EQ(p.WaitMs(START, 10), 10);
  EXPECT_EQ(p.WaitMs(START + 50'000, 10), 0);
  // Towards the end the wait runs to it, not to a send after it.
  TPacer last(1, 1, START, START + 3'000);
  last.Take(0, START);
  EXPECT_EQ(last.NextAt(), START + 3'000);
  EXPECT_EQ(last.WaitMs(START, 10), 4);
}

TEST(Pacer, ARateAboveAMillionASecondStillAdvances) {
  TPacer p(1, 5e6, START, START + 10);
  int sends = 0;
  for (int round = 0; round < 100 && p.NextAt() < p.End(); ++round) sends += p.Take(0, START + 10);
  EXPECT_EQ(sends, 10);  // a period of 1 us, not 0
}

}  // namespace
}  // namespace zq

// THistogram: percentiles in bounded memory, the exact maximum, and the cumulative counts at
// chosen bounds exact on either side of each bound; TDurationHistogram's seconds.
#include "platform/Histogram.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zq {
namespace {

TEST(Histogram, PercentilesExactBelow1024AndCloseAbove) {
  THistogram h;
  EXPECT_EQ(h.Percentile(0.5), 0);
  EXPECT_EQ(h.Max(), 0);
  for (int v = 1; v <= 100; ++v) h.Add(v);
  EXPECT_EQ(h.Percentile(0.5), 50);
  EXPECT_EQ(h.Percentile(0.99), 99);
  EXPECT_EQ(h.Percentile(1.0), 100);
  EXPECT_EQ(h.Percentile(0), 1);  // the lowest rank is the first observation
  h.Add(-5);                      // clock oddities count as 0
  EXPECT_EQ(h.Count(), 101u);
  EXPECT_EQ(h.Sum(), 5050u);
  EXPECT_EQ(h.Percentile(0), 0);
  for (int64_t v : {int64_t{1500}, int64_t{123456}, int64_t{98765432}, int64_t{1} << 45}) {
    THistogram one;
    one.Add(v);
    EXPECT_EQ(one.Max(), v);
    EXPECT_LE(one.Percentile(0.5), v);
    if (v < (int64_t{1} << 42)) {
      EXPECT_GE(one.Percentile(0.5), v - v / 256);
    }
  }
}

TEST(Histogram, CumulativeCountsAreExactOnBothSidesOfEveryBound) {
  // Bounds inside wide log-linear buckets (above 1024 a bucket spans 4, 32, ... values), two
  // of them in one bucket, one in the exact range, one past the top of the range, and given
  // out of order.
  const int64_t huge = int64_t{1} << 50;
  THistogram h({25'000, 2'500, 1'000, 25'001, huge});
  for (int64_t b : {int64_t{1'000}, int64_t{2'500}, int64_t{25'000}}) {
    h.Add(b - 1);
    h.Add(b);
    h.Add(b + 1);
  }
  h.Add(huge);
  h.Add(huge + 1);
  const THistogram::TCumulative c = h.Cumulative();
  EXPECT_EQ(c.Bounds, (std::vector<int64_t>{1'000, 2'500, 25'000, 25'001, huge}));
  // <= 1000: 999, 1000; <= 2500: + 1001, 2499, 2500; <= 25000: + 2501, 24999, 25000;
  // <= 25001: + 25001; <= 2^50: + 2^50.
  EXPECT_EQ(c.Counts, (std::vector<uint64_t>{2, 5, 8, 9, 10}));
  EXPECT_EQ(c.Count, 11u);
  EXPECT_EQ(c.Count, h.Count());
  EXPECT_EQ(c.Sum, h.Sum());
  // Moved, the counts go along.
  THistogram moved = std::move(h);
  EXPECT_EQ(moved.Cumulative().Counts, c.Counts);
}

TEST(Histogram, DurationsInSecondsKeepTheirBoundsAsWritten) {
  TDurationHistogram d({1e-3, 2.5e-6});
  d.Observe(std::chrono::nanoseconds(2'500));
  d.Observe(std::chrono::nanoseconds(2'501));
  d.Observe(std::chrono::nanoseconds(-7));  // a clock step back counts as 0
  d.Observe(std::chrono::seconds(1));
  const TDurationHistogram::TSnapshot s = d.Read();
  EXPECT_EQ(s.Bounds, (std::vector<double>{2.5e-6, 1e-3}));
  EXPECT_EQ(s.Counts, (std::vector<uint64_t>{2, 3}));
  EXPECT_EQ(s.Count, 4u);
  EXPECT_DOUBLE_EQ(s.SumSeconds, 1.000005001);
  EXPECT_EQ(d.Nanoseconds().Max(), 1'000'000'000);
}

}  // namespace
}  // namespace zq

// THistogram read while its one observer adds: every cumulative view ascending and within
// its count, whatever the interleaving; and nothing lost once the observer is done.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Histogram.h"

namespace zq {
namespace {

TEST(HistogramRace, ACumulativeViewIsAscendingWhileTheObserverAdds) {
  // 25000 and 25001 share a log-linear bucket: their partial counts race with the bucket's.
  THistogram h({1'000, 25'000, 25'001, 1'000'000});
  constexpr int ROUNDS = 20000;
  const int64_t values[] = {999, 1'000, 1'001, 24'999, 25'000, 25'001, 25'002, 2'000'000};
  std::atomic<bool> done{false};
  std::thread observer([&] {
    for (int r = 0; r < ROUNDS; ++r)
      for (int64_t v : values) h.Add(v);
    done = true;
  });
  int views = 0;
  bool ascending = true;
  while (!done.load() || views == 0) {
    const THistogram::TCumulative c = h.Cumulative();
    for (std::size_t i = 0; i < c.Counts.size(); ++i) {
      const uint64_t above = i + 1 < c.Counts.size() ? c.Counts[i + 1] : c.Count;
      ascending = ascending && c.Counts[i] <= above;
    }
    ++views;
  }
  observer.join();
  EXPECT_TRUE(ascending) << "after " << views << " views";
  const THistogram::TCumulative c = h.Cumulative();
  EXPECT_EQ(c.Counts, (std::vector<uint64_t>{2 * ROUNDS, 5 * ROUNDS, 6 * ROUNDS, 7 * ROUNDS}));
  EXPECT_EQ(c.Count, 8u * ROUNDS);
  EXPECT_EQ(h.Max(), 2'000'000);
}

}  // namespace
}  // namespace zq

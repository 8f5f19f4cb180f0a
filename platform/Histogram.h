// THistogram: whole numbers (durations in a unit the owner picks: microseconds for the tools'
// latencies, nanoseconds for the server's) counted in bounded memory. Log-linear buckets, exact
// below 1024 and within 0.2% above, up to 2^42 (larger values share the last bucket); with the
// count, the sum, the exact maximum, percentiles, and, at bounds chosen at construction, exact
// cumulative counts for a Prometheus histogram: each such bound splits the log-linear bucket it
// falls in, so an observation on either side of it is counted on its own side.
// TDurationHistogram: the same for durations, bounds in seconds, as the metrics endpoint shows.
// One thread observes at a time (the counters are written without read-modify-write); any
// thread reads. A read racing an observation may see it half-counted, never a torn number, and
// a cumulative view is always ascending and within its count.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace zq {

class THistogram {
 public:
  // `exactBounds`: the values at which Cumulative() counts exactly (sorted here).
  explicit THistogram(std::vector<int64_t> exactBounds = {});
  THistogram(THistogram&&) noexcept;
  THistogram& operator=(THistogram&&) noexcept;
  ~THistogram();

  void Add(int64_t value);  // negative values count as 0

  uint64_t Count() const;
  uint64_t Sum() const;
  int64_t Max() const;  // 0 when empty
  // The value at or below which `fraction` (0..1) of the observations lie (nearest rank, the
  // bucket's lower end, never above the maximum); 0 when empty.
  int64_t Percentile(double fraction) const;

  struct TCumulative {
    std::vector<int64_t> Bounds;   // ascending
    std::vector<uint64_t> Counts;  // observations <= Bounds[i]
    uint64_t Count = 0;            // all observations
    uint64_t Sum = 0;
  };
  TCumulative Cumulative() const;

 private:
  struct TState;
  std::unique_ptr<TState> s_;
};

class TDurationHistogram {
 public:
  // Upper bounds of the Prometheus buckets in seconds; a last bucket takes everything above.
  explicit TDurationHistogram(std::vector<double> boundsSeconds);

  void Observe(std::chrono::nanoseconds duration);

  struct TSnapshot {
    std::vector<double> Bounds;    // seconds, ascending
    std::vector<uint64_t> Counts;  // cumulative: observations <= Bounds[i]
    uint64_t Count = 0;            // all observations (the +Inf bucket)
    double SumSeconds = 0;
  };
  TSnapshot Read() const;
  // The same observations in nanoseconds, for percentiles.
  const THistogram& Nanoseconds() const { return ns_; }

 private:
  std::vector<double> bounds_;  // as given, sorted: shown exactly as written
  THistogram ns_;
};

}  // namespace zq

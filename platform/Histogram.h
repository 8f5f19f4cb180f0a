// TDurationHistogram: durations counted into fixed buckets with their sum, for the metrics
// endpoint. One thread observes, any thread reads (relaxed atomics: a read may see an
// observation half-counted, never a torn number).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace zq {

class TDurationHistogram {
 public:
  // Upper bounds of the buckets in seconds, ascending; a last bucket takes everything above.
  explicit TDurationHistogram(std::vector<double> boundsSeconds);

  void Observe(std::chrono::nanoseconds duration);

  struct TSnapshot {
    std::vector<double> Bounds;    // seconds, ascending
    std::vector<uint64_t> Counts;  // cumulative: observations <= Bounds[i]
    uint64_t Count = 0;            // all observations (the +Inf bucket)
    double SumSeconds = 0;
  };
  TSnapshot Read() const;

 private:
  std::vector<double> bounds_;
  std::vector<int64_t> boundsNs_;
  std::unique_ptr<std::atomic<uint64_t>[]> counts_;  // per bucket, not cumulative; +1 for +Inf
  std::atomic<uint64_t> sumNs_{0};
};

}  // namespace zq

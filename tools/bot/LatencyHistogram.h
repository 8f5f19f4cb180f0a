// Latency summary in bounded memory: a log-linear histogram of microseconds (exact below
// 1024 us, within 0.2% above), with count, exact maximum and percentiles.
#pragma once

#include <cstdint>
#include <vector>

namespace zq {

class TLatencyHistogram {
 public:
  TLatencyHistogram();
  void Add(int64_t micros);  // negative values count as 0
  uint64_t Count() const { return count_; }
  int64_t Max() const { return max_; }
  // The value at or below which `fraction` (0..1) of the samples lie; 0 when empty.
  int64_t Percentile(double fraction) const;

 private:
  std::vector<uint64_t> buckets_;
  uint64_t count_ = 0;
  int64_t max_ = 0;
};

}  // namespace zq

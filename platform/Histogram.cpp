#include "platform/Histogram.h"

#include <algorithm>

namespace zq {

TDurationHistogram::TDurationHistogram(std::vector<double> boundsSeconds)
    : bounds_(std::move(boundsSeconds)),
      counts_(std::make_unique<std::atomic<uint64_t>[]>(bounds_.size() + 1)) {
  std::sort(bounds_.begin(), bounds_.end());
  for (double b : bounds_) boundsNs_.push_back(static_cast<int64_t>(b * 1e9 + 0.5));
}

void TDurationHistogram::Observe(std::chrono::nanoseconds duration) {
  const int64_t ns = std::max<int64_t>(0, duration.count());
  const auto bucket = static_cast<std::size_t>(
      std::lower_bound(boundsNs_.begin(), boundsNs_.end(), ns) - boundsNs_.begin());
  counts_[bucket].fetch_add(1, std::memory_order_relaxed);
  sumNs_.fetch_add(static_cast<uint64_t>(ns), std::memory_order_relaxed);
}

TDurationHistogram::TSnapshot TDurationHistogram::Read() const {
  TSnapshot s;
  s.Bounds = bounds_;
  uint64_t running = 0;
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    running += counts_[i].load(std::memory_order_relaxed);
    s.Counts.push_back(running);
  }
  s.Count = running + counts_[bounds_.size()].load(std::memory_order_relaxed);
  s.SumSeconds = static_cast<double>(sumNs_.load(std::memory_order_relaxed)) / 1e9;
  return s;
}

}  // namespace zq

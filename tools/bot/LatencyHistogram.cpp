#include "tools/bot/LatencyHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace zq {
namespace {

constexpr int LINEAR = 1024;   // exact buckets
constexpr int SUB = 512;       // buckets per power of two above
constexpr int MAX_SHIFT = 32;  // values up to 2^42 us

std::size_t IndexOf(uint64_t v) {
  if (v < LINEAR) return v;
  int shift = std::bit_width(v) - 10;  // v >> shift is in [512, 1024)
  shift = std::min(shift, MAX_SHIFT);
  uint64_t mant = std::min<uint64_t>(v >> shift, 2 * SUB - 1);
  return LINEAR + static_cast<std::size_t>(shift - 1) * SUB + (mant - SUB);
}

int64_t LowerBound(std::size_t index) {
  if (index < LINEAR) return static_cast<int64_t>(index);
  std::size_t rel = index - LINEAR;
  int shift = static_cast<int>(rel / SUB) + 1;
  return static_cast<int64_t>((SUB + rel % SUB) << shift);
}

}  // namespace

TLatencyHistogram::TLatencyHistogram() : buckets_(LINEAR + MAX_SHIFT * SUB, 0) {}

void TLatencyHistogram::Add(int64_t micros) {
  uint64_t v = micros < 0 ? 0 : static_cast<uint64_t>(micros);
  ++buckets_[IndexOf(v)];
  ++count_;
  max_ = std::max<int64_t>(max_, static_cast<int64_t>(v));
}

int64_t TLatencyHistogram::Percentile(double fraction) const {
  if (count_ == 0) return 0;
  fraction = std::clamp(fraction, 0.0, 1.0);
  // Nearest rank: the smallest value with at least ceil(fraction * count) samples at or below.
  uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(fraction * count_)));
  uint64_t seen = 0;
  for (std::size_t i = 0; i < buckets_.size(); ++i) {
    seen += buckets_[i];
    if (seen >= rank) return std::min(LowerBound(i), max_);
  }
  return max_;
}

}  // namespace zq

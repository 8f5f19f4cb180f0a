#include "platform/Histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace zq {
namespace {

constexpr std::size_t LINEAR = 1024;  // exact buckets
constexpr std::size_t SUB = 512;      // buckets per power of two above
constexpr int MAX_SHIFT = 32;         // values up to 2^42
constexpr std::size_t BUCKETS = LINEAR + MAX_SHIFT * SUB;

std::size_t IndexOf(uint64_t v) {
  if (v < LINEAR) return static_cast<std::size_t>(v);
  int shift = std::bit_width(v) - 10;  // v >> shift is in [512, 1024)
  shift = std::min(shift, MAX_SHIFT);
  const uint64_t mant = std::min<uint64_t>(v >> shift, 2 * SUB - 1);
  return LINEAR + static_cast<std::size_t>(shift - 1) * SUB + static_cast<std::size_t>(mant - SUB);
}

int64_t LowerEnd(std::size_t index) {
  if (index < LINEAR) return static_cast<int64_t>(index);
  const std::size_t rel = index - LINEAR;
  const int shift = static_cast<int>(rel / SUB) + 1;
  return static_cast<int64_t>((SUB + rel % SUB) << shift);
}

// The one observer adds without a read-modify-write.
void Bump(std::atomic<uint64_t>& counter, uint64_t by, std::memory_order order) {
  counter.store(counter.load(std::memory_order_relaxed) + by, order);
}

}  // namespace

struct THistogram::TState {
  explicit TState(std::vector<int64_t> bounds)
      : Bounds(std::move(bounds)),
        Buckets(std::make_unique<std::atomic<uint64_t>[]>(BUCKETS)),
        Partial(std::make_unique<std::atomic<uint64_t>[]>(Bounds.size())) {
    std::sort(Bounds.begin(), Bounds.end());
    for (int64_t b : Bounds)
      BoundBucket.push_back(IndexOf(static_cast<uint64_t>(std::max<int64_t>(b, 0))));
  }

  std::vector<int64_t> Bounds;
  std::vector<std::size_t> BoundBucket;  // the log-linear bucket each bound falls in
  std::unique_ptr<std::atomic<uint64_t>[]> Buckets;
  // Per bound: the observations in its bucket at or below it. Written after the bucket, with
  // release, the largest bound first; read before the bucket, with acquire, the smallest
  // first: so a reader never sees a bound's count above the next bound's or its bucket's.
  std::unique_ptr<std::atomic<uint64_t>[]> Partial;
  std::atomic<uint64_t> Count{0};
  std::atomic<uint64_t> Sum{0};
  std::atomic<int64_t> Max{0};
};

THistogram::THistogram(std::vector<int64_t> exactBounds)
    : s_(std::make_unique<TState>(std::move(exactBounds))) {}
THistogram::THistogram(THistogram&&) noexcept = default;
THistogram& THistogram::operator=(THistogram&&) noexcept = default;
THistogram::~THistogram() = default;

void THistogram::Add(int64_t value) {
  const uint64_t v = value < 0 ? 0 : static_cast<uint64_t>(value);
  const std::size_t bucket = IndexOf(v);
  Bump(s_->Buckets[bucket], 1, std::memory_order_relaxed);
  // Bounds in this bucket at or above v, from the largest down.
  const auto& bounds = s_->Bounds;
  const std::size_t first = static_cast<std::size_t>(
      std::lower_bound(bounds.begin(), bounds.end(),
                       static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX))) -
      bounds.begin());
  std::size_t last = first;
  while (last < bounds.size() && s_->BoundBucket[last] == bucket) ++last;
  for (std::size_t k = last; k-- > first;) Bump(s_->Partial[k], 1, std::memory_order_release);
  Bump(s_->Count, 1, std::memory_order_relaxed);
  Bump(s_->Sum, v, std::memory_order_relaxed);
  const auto signedV = static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX));
  if (signedV > s_->Max.load(std::memory_order_relaxed))
    s_->Max.store(signedV, std::memory_order_relaxed);
}

uint64_t THistogram::Count() const {
  return s_->Count.load(std::memory_order_relaxed);
}

uint64_t THistogram::Sum() const {
  return s_->Sum.load(std::memory_order_relaxed);
}

int64_t THistogram::Max() const {
  return s_->Max.load(std::memory_order_relaxed);
}

int64_t THistogram::Percentile(double fraction) const {
  const uint64_t count = Count();
  if (count == 0) return 0;
  fraction = std::clamp(fraction, 0.0, 1.0);
  // Nearest rank: the smallest value with at least ceil(fraction * count) observations at or
  // below it.
  const uint64_t rank = std::max<uint64_t>(
      1, static_cast<uint64_t>(std::ceil(fraction * static_cast<double>(count))));
  const int64_t max = Max();
  uint64_t seen = 0;
  for (std::size_t i = 0; i < BUCKETS; ++i) {
    seen += s_->Buckets[i].load(std::memory_order_relaxed);
    if (seen >= rank) return std::min(LowerEnd(i), max);
  }
  return max;
}

THistogram::TCumulative THistogram::Cumulative() const {
  TCumulative c;
  c.Bounds = s_->Bounds;
  uint64_t running = 0;  // the buckets before `next`
  std::size_t next = 0;
  for (std::size_t k = 0; k < s_->Bounds.size(); ++k) {
    const std::size_t bucket = s_->BoundBucket[k];
    while (next < bucket) running += s_->Buckets[next++].load(std::memory_order_relaxed);
    c.Counts.push_back(running + s_->Partial[k].load(std::memory_order_acquire));
  }
  while (next < BUCKETS) running += s_->Buckets[next++].load(std::memory_order_relaxed);
  c.Count = running;
  c.Sum = Sum();
  return c;
}

namespace {

std::vector<int64_t> InNanoseconds(const std::vector<double>& seconds) {
  std::vector<int64_t> ns;
  for (double b : seconds) ns.push_back(static_cast<int64_t>(b * 1e9 + 0.5));
  return ns;
}

std::vector<double> Sorted(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TDurationHistogram::TDurationHistogram(std::vector<double> boundsSeconds)
    : bounds_(Sorted(std::move(boundsSeconds))), ns_(InNanoseconds(bounds_)) {}

void TDurationHistogram::Observe(std::chrono::nanoseconds duration) {
  ns_.Add(duration.count());
}

TDurationHistogram::TSnapshot TDurationHistogram::Read() const {
  const THistogram::TCumulative c = ns_.Cumulative();
  TSnapshot s;
  s.Bounds = bounds_;
  s.Counts = c.Counts;
  s.Count = c.Count;
  s.SumSeconds = static_cast<double>(c.Sum) / 1e9;
  return s;
}

}  // namespace zq

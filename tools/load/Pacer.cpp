#include "tools/load/Pacer.h"

#include <algorithm>

namespace zq {

namespace {
constexpr int POLL_MAX_MS = 10;  // a paced run looks at the clock at least this often
}  // namespace

TPacer::TPacer(std::size_t senders, double perSecond, int64_t start, int64_t end)
    : period_(std::max<int64_t>(1, static_cast<int64_t>(1e6 / perSecond))),
      end_(end),
      next_(senders) {
  for (std::size_t i = 0; i < senders; ++i)
    next_[i] = start + period_ * static_cast<int64_t>(i) / static_cast<int64_t>(senders);
}

int TPacer::Take(std::size_t sender, int64_t now) {
  int64_t& next = next_[sender];
  int taken = 0;
  while (taken < PACER_MAX_CATCH_UP && next <= now && next < end_) {
    next += period_;
    ++taken;
  }
  return taken;
}

int64_t TPacer::NextAt() const {
  int64_t soonest = end_;
  for (int64_t n : next_) soonest = std::min(soonest, n);
  return soonest;
}

int TPacer::WaitMs(int64_t now, int maxMs) const {
  const int64_t wait = NextAt() - now;
  if (wait <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(wait / 1000 + 1, maxMs));
}

void SendPaced(TClientPool& pool, TPacer& pacer, const std::function<void(std::size_t)>& send,
               const std::function<bool()>& stop) {
  while (!stop()) {
    const int64_t now = NowMicros();
    if (now >= pacer.End()) break;
    for (std::size_t i = 0; i < pool.Size(); ++i) {
      for (int n = pacer.Take(i, now); n > 0; --n)
        if (!pool[i].IsClosed()) send(i);
    }
    pool.Poll(pacer.WaitMs(NowMicros(), POLL_MAX_MS));
  }
}

}  // namespace zq

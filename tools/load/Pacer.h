// TPacer: the send times of a paced load within a bounded time. N senders send R times a
// second each, staggered over one period: sender i's k-th send is due at
// start + i * period / N + k * period, and none at or after the end. A sender that falls
// behind catches up at most PACER_MAX_CATCH_UP sends at a time, so one late round does not
// turn into a burst. Pure: the caller gives the time. SendPaced drives a pool with it.
// One thread.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/load/ClientPool.h"

namespace zq {

constexpr int PACER_MAX_CATCH_UP = 4;

class TPacer {
 public:
  // `perSecond` > 0; times in microseconds.
  TPacer(std::size_t senders, double perSecond, int64_t start, int64_t end);

  // The sends of `sender` due at `now` (at most PACER_MAX_CATCH_UP), taken.
  int Take(std::size_t sender, int64_t now);
  // When the earliest send not yet taken is due; End() when none is left.
  int64_t NextAt() const;
  int64_t End() const { return end_; }
  int64_t Period() const { return period_; }
  // How long to wait at `now` for the next send, in whole milliseconds rounded up, at most
  // maxMs; 0 when one is due.
  int WaitMs(int64_t now, int maxMs) const;

 private:
  int64_t period_;
  int64_t end_;
  std::vector<int64_t> next_;  // per sender: its next send
};

// Until the pacer's end or `stop`: calls send(i) for each due send of pool[i] (a closed client
// lets its turn pass), polling the pool in between. The pool holds one client per sender.
void SendPaced(TClientPool& pool, TPacer& pacer, const std::function<void(std::size_t)>& send,
               const std::function<bool()>& stop);

}  // namespace zq

// FakeClock: a tick count that tests set by hand (GetTickCount), for every thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

namespace zq::test {

// Replaces the tick count while it lives; the old clock comes back afterwards.
class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 0) {
    Set(start);
    SetTickSource(&Now);
  }
  ~FakeClock() { SetTickSource(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;
  static void Set(uint32_t t) { ticks().store(t); }
  static void Advance(uint32_t ms) { ticks().fetch_add(ms); }
  static uint32_t Now() { return ticks().load(); }

 private:
  static std::atomic<uint32_t>& ticks() {
    static std::atomic<uint32_t> t{0};
    return t;
  }
};

}  // namespace zq::test

// A small deterministic random source for decoration: the same seed and salt give the same
// numbers on every platform.
#pragma once

#include <cstdint>

namespace zq::mkworld {

class Rng {
 public:
  Rng(uint32_t seed, uint64_t salt) : state_(Mix(seed * 0x9E3779B97F4A7C15ull ^ Mix(salt))) {}

  uint32_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(Mix(state_) >> 32);
  }
  // 0 .. n-1; n > 0
  uint32_t Below(uint32_t n) { return Next() % n; }

  static uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t state_;
};

}  // namespace zq::mkworld

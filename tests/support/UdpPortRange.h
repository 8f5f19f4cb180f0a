// TUdpPortRange: 64 UDP ports (base .. base + 63) that no other test process uses meanwhile.
// The range is reserved by binding its first port, base, which servers under test never use
// (socket numbers start at 1); every test program takes its ranges this way, below the
// ephemeral range, so two cannot collide, and the range's other ports were free when taken.
#pragma once

#include <cstdint>

namespace zq::test {

class TUdpPortRange {
 public:
  TUdpPortRange();  // raises std::runtime_error when no range is free
  ~TUdpPortRange();
  TUdpPortRange(const TUdpPortRange&) = delete;
  TUdpPortRange& operator=(const TUdpPortRange&) = delete;

  uint16_t Base() const { return base_; }

 private:
  int lockFd_ = -1;
  uint16_t base_ = 0;
};

}  // namespace zq::test

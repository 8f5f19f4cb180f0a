// The server's own process as the metrics endpoint reports it: CPU time, memory and open
// files, read from the kernel (getrusage, /proc/self). Any thread.
#pragma once

#include <cstdint>

namespace zq {

struct TProcessStats {
  double CpuSeconds = 0;       // user + system
  uint64_t ResidentBytes = 0;  // 0 when /proc cannot be read
  uint64_t VirtualBytes = 0;
  int OpenFds = -1;  // -1 when /proc cannot be read
};

TProcessStats ReadProcessStats();

}  // namespace zq

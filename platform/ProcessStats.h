// The server's own process as the metrics endpoint reports it: CPU time and memory, read from
// the kernel (getrusage, /proc/self/statm: two cheap reads, fit for frequent scrapes). Any
// thread.
#pragma once

#include <cstdint>

namespace zq {

struct TProcessStats {
  double CpuSeconds = 0;       // user + system
  uint64_t ResidentBytes = 0;  // 0 when /proc cannot be read
  uint64_t VirtualBytes = 0;
};

TProcessStats ReadProcessStats();

}  // namespace zq

#include "platform/ProcessStats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace zq {

TProcessStats ReadProcessStats() {
  TProcessStats s;
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) == 0) {
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    s.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  std::ifstream statm("/proc/self/statm");
  uint64_t pagesVirtual = 0, pagesResident = 0;
  if (statm >> pagesVirtual >> pagesResident) {
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    s.VirtualBytes = pagesVirtual * page;
    s.ResidentBytes = pagesResident * page;
  }
  return s;
}

}  // namespace zq

#include "platform/ProcessStats.h"

#include <dirent.h>
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
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    int n = 0;
    while (const dirent* e = ::readdir(fds))
      if (e->d_name[0] != '.') ++n;
    ::closedir(fds);
    s.OpenFds = n - 1;  // the directory being read
  }
  return s;
}

}  // namespace zq

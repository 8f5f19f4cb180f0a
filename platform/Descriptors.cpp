#include "platform/Descriptors.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <utility>

namespace zq {

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // An unlimited hard limit is no number of files: the soft one then stays.
    if (limit.rlim_max != RLIM_INFINITY && ::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(limit.rlim_cur);
}

TDescriptorReserve::TDescriptorReserve() {
  Refill();
}

TDescriptorReserve::~TDescriptorReserve() {
  Release();
}

bool TDescriptorReserve::Release() {
  if (fd_ < 0) return false;
  ::close(std::exchange(fd_, -1));
  return true;
}

void TDescriptorReserve::Refill() {
  if (fd_ < 0) fd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

}  // namespace zq

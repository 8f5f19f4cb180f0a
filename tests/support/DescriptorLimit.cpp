#include "tests/support/DescriptorLimit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace zq::test {

int OwnOpenDescriptors() {
  int n = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error))
    ++n;
  return n - 1;  // the directory's own
}

TDescriptorsTaken::TDescriptorsTaken() {
  ::getrlimit(RLIMIT_NOFILE, &saved_);
  rlimit low = saved_;
  low.rlim_cur = static_cast<rlim_t>(OwnOpenDescriptors() + 32);
  if (low.rlim_cur > saved_.rlim_cur) low.rlim_cur = saved_.rlim_cur;
  ::setrlimit(RLIMIT_NOFILE, &low);
  for (rlim_t i = 0; i < low.rlim_cur; ++i) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      atLimit_ = errno == EMFILE;
      break;
    }
    taken_.push_back(fd);
  }
}

TDescriptorsTaken::~TDescriptorsTaken() {
  Free(static_cast<int>(taken_.size()));
  ::setrlimit(RLIMIT_NOFILE, &saved_);
}

void TDescriptorsTaken::Free(int n) {
  for (; n > 0 && !taken_.empty(); --n) {
    ::close(taken_.back());
    taken_.pop_back();
  }
}

}  // namespace zq::test

// The test's own process out of file descriptors: while a TDescriptorsTaken lives, the soft
// limit of open files is lowered to a little above what is open and every descriptor under
// it is taken; it closes them and restores the limit when it goes. Tests that use it run no
// other threads that open files meanwhile.
#pragma once

#include <sys/resource.h>

#include <vector>

namespace zq::test {

class TDescriptorsTaken {
 public:
  TDescriptorsTaken();
  ~TDescriptorsTaken();
  TDescriptorsTaken(const TDescriptorsTaken&) = delete;
  TDescriptorsTaken& operator=(const TDescriptorsTaken&) = delete;

  // True when an open failed with EMFILE: the process is at its limit.
  bool AtLimit() const { return atLimit_; }
  // Gives `n` descriptors back (the process is then that far from its limit).
  void Free(int n);

 private:
  rlimit saved_{};
  std::vector<int> taken_;
  bool atLimit_ = false;
};

// The descriptors the test's own process has open.
int OwnOpenDescriptors();

}  // namespace zq::test

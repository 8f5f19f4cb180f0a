// TThreadAffinity: remembers the thread that made an object and, in debug builds, asserts
// that entry points bound to that thread are not called from another one.
#pragma once

#include <cassert>
#include <thread>

namespace zq {

class TThreadAffinity {
 public:
  // Debug builds: the calling thread must be the owner.
  void Check() const { assert(IsOwner() && "called off its owning thread"); }
  bool IsOwner() const { return std::this_thread::get_id() == owner_; }

 private:
  std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace zq

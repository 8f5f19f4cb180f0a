// The process's file descriptors: RaiseDescriptorLimit lifts the soft limit of open files to
// the hard one, and TDescriptorReserve holds one descriptor back for a user that must not
// starve when the rest are taken (the log, the listener). RaiseDescriptorLimit: at start,
// before other threads open files; a TDescriptorReserve: its owner's thread.
#pragma once

namespace zq {

// Sets the soft RLIMIT_NOFILE to the hard one; returns the soft limit it leaves (-1 when
// the limits cannot be read). A limit that cannot be raised stays as it was.
long RaiseDescriptorLimit();

// One descriptor (on /dev/null) held in reserve. When an open or accept fails for want of a
// descriptor (EMFILE), the owner releases the reserve, tries once more, and refills the
// reserve once it has closed what it opened. Another thread may take the freed number in
// between; then the second try fails as the first did.
class TDescriptorReserve {
 public:
  TDescriptorReserve();  // holds a descriptor when one is free
  ~TDescriptorReserve();
  TDescriptorReserve(const TDescriptorReserve&) = delete;
  TDescriptorReserve& operator=(const TDescriptorReserve&) = delete;

  bool Held() const { return fd_ >= 0; }
  // Frees the held descriptor; false when none was held.
  bool Release();
  // Holds a descriptor again when none is held and one is free.
  void Refill();

 private:
  int fd_ = -1;
};

}  // namespace zq

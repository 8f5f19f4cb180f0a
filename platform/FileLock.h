// TFileLock: a lock that one process at a time holds, for as long as it lives or runs: an
// exclusive flock on a lock file, which holds the holder's process id while it is held (and
// is emptied, not removed, when it is let go). The kernel lets it go with the process,
// however that ends. Separate opens exclude each other, within one process too. Any thread.
#pragma once

#include <string>

namespace zq {

class TFileLock {
 public:
  // Takes the lock on `path` (creating it, mode 0644, owned like its directory when root
  // makes it). Raises EInOutError: "<what> is in use by process N (it holds <path>)" when
  // another holds it, "Cannot create lock file <path>: <why>" when it cannot be opened.
  TFileLock(std::string path, const std::string& what);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace zq

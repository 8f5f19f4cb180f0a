#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Errors.h"
#include "platform/Ownership.h"

namespace zq {
namespace {

// The holder's process id as the file tells it; empty while the holder is still writing it.
std::string HolderOf(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  std::string pid(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  pid.erase(pid.find_last_not_of("\n") + 1);
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) return {};
  return pid;
}

}  // namespace

TFileLock::TFileLock(std::string path, const std::string& what) : path_(std::move(path)) {
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) throw EInOutError("Cannot create lock file " + path_ + ": " + std::strerror(errno));
  try {
    OwnLikeItsDirectory(fd, path_);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK)
        throw EInOutError("Cannot lock " + path_ + ": " + std::strerror(errno));
      const std::string holder = HolderOf(fd);
      throw EInOutError(what + " is in use by " +
                        (holder.empty() ? "another process" : "process " + holder) + " (it holds " +
                        path_ + ")");
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0)
      throw EInOutError("Cannot write lock file " + path_ + ": " + std::strerror(errno));
  } catch (...) {
    ::close(fd);
    throw;
  }
  fd_ = fd;
}

TFileLock::~TFileLock() {
  if (::ftruncate(fd_, 0) != 0) {
    // The kernel lets the lock go all the same; a stale id names a process that holds nothing.
  }
  ::close(fd_);
}

}  // namespace zq

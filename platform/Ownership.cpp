#include "platform/Ownership.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/Errors.h"

namespace zq {

void OwnLikeItsDirectory(int fd, const std::string& path) {
  if (::geteuid() != 0) return;
  std::filesystem::path directory = std::filesystem::path(path).parent_path();
  if (directory.empty()) directory = ".";
  struct stat owner {};
  if (::stat(directory.c_str(), &owner) != 0 || owner.st_uid == 0) return;
  if (::fchown(fd, owner.st_uid, owner.st_gid) != 0)
    throw EInOutError(path + ": cannot give it to the owner of " + directory.string() + ": " +
                      std::strerror(errno));
}

}  // namespace zq

// Files made by root for another user: a file that root creates in a directory another user
// owns (the game directory of a service user, made before its first start) is given to that
// directory's owner and group, so that the service can open it later. Any thread.
#pragma once

#include <string>

namespace zq {

// When the process runs as root and the directory holding `path` is not root's, gives the
// open file `fd` that directory's owner and group. Raises EInOutError naming `path` when that
// fails; does nothing otherwise.
void OwnLikeItsDirectory(int fd, const std::string& path);

}  // namespace zq

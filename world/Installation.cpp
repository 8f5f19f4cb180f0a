#include "world/Installation.h"

#include <filesystem>
#include <vector>

#include "platform/Errors.h"
#include "platform/Files.h"

namespace zq {
namespace fs = std::filesystem;

namespace {

std::string WithSlash(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

bool IsRealDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

// Removes `path` and what it holds; a failure is left for the next start.
void RemoveTree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

}  // namespace

void CheckInstallation(const std::string& gameDir) {
  std::error_code ec;
  if (!fs::is_directory(gameDir, ec))
    throw EInOutError("Game directory " + gameDir + " does not exist or is not a directory");
  if (!fs::is_directory(ResolvePath(gameDir, "STATIC"), ec))
    throw EInOutError("Game directory " + WithSlash(gameDir) +
                      " holds no STATIC directory: it is not a game installation");
}

std::optional<std::string> FindDataDirectory(const std::string& gameDir) {
  const std::string path = ResolvePath(gameDir, DATA_DIRECTORY_NAME);
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return std::nullopt;
  return WithSlash(path);
}

int RemoveUnfinishedUnpacking(const std::string& gameDir) {
  const std::string prefix = UNPACKING_PREFIX;
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(gameDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
        IsRealDirectory(it->path()))
      found.push_back(it->path().string());
  }
  int removed = 0;
  for (const std::string& path : found) {
    try {
      TDirectory dir = TDirectory::Open(path);
      if (!dir.TryLock()) continue;  // a start in another process is filling it
    } catch (const EInOutError&) {
      continue;  // gone meanwhile
    }
    RemoveTree(path);
    ++removed;
  }
  return removed;
}

std::string BuildDataDirectory(const std::string& gameDir, IExtractProgress& progress) {
  const std::string target = WithSlash(gameDir) + DATA_DIRECTORY_NAME;
  const std::string temp = MakeTempDirectory(WithSlash(gameDir) + UNPACKING_PREFIX);
  try {
    TDirectory lock = TDirectory::Open(temp);  // held while filling: no other start removes it
    lock.TryLock();
    ExtractInitGame(gameDir, temp, progress);
    RenameNoReplace(temp, target);
  } catch (...) {
    RemoveTree(temp);
    throw;
  }
  return target + "/";
}

}  // namespace zq

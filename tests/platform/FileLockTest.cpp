// The lock that keeps a second server off a game directory: refused while held (within one
// process too), naming the holder; a file left by a holder that is gone is no hindrance. (Who
// owns a file root makes is tested with the accounts file, tests/app.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Errors.h"
#include "platform/FileLock.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Refusal(const std::string& path) {
  try {
    TFileLock second(path, "Game directory D");
    return {};
  } catch (const EInOutError& e) {
    return e.what();
  }
}

TEST(FileLockTest, HeldItRefusesEveryOtherOpenNamingTheHolderAndEmptiesOnRelease) {
  TempDir dir;
  const std::string path = dir / "zqosrv.lock";
  std::optional<TFileLock> first(std::in_place, path, "Game directory D");
  EXPECT_EQ(ReadFile(path), std::to_string(::getpid()) + "\n");
  EXPECT_EQ(Refusal(path), "Game directory D is in use by process " + std::to_string(::getpid()) +
                               " (it holds " + path + ")");
  EXPECT_EQ(Refusal(path), Refusal(path)) << "a refused open leaves the holder's id alone";
  EXPECT_EQ(ReadFile(path), std::to_string(::getpid()) + "\n");

  first.reset();
  EXPECT_EQ(ReadFile(path), "") << "no id of a process that holds nothing";
  EXPECT_EQ(Refusal(path), "");
}

TEST(FileLockTest, AFileLeftBehindOrGarbledDoesNotStopTheNextHolder) {
  TempDir dir;
  const std::string path = dir / "zqosrv.lock";
  WriteFile(path, "999999\n");  // a holder killed before it could empty the file
  {
    TFileLock lock(path, "D");
    EXPECT_EQ(ReadFile(path), std::to_string(::getpid()) + "\n") << "the old id is replaced whole";
  }
  // While another writes its id (or the file holds anything else), the holder is unnamed.
  TFileLock lock(path, "D");
  WriteFile(path, "12ab\n");
  EXPECT_EQ(Refusal(path), "Game directory D is in use by another process (it holds " + path + ")");
}

TEST(FileLockTest, ALinkInItsPlaceOrNoDirectoryIsRefused) {
  TempDir dir;
  WriteFile(dir / "elsewhere", "x");
  std::filesystem::create_symlink(dir / "elsewhere", dir / "zqosrv.lock");
  EXPECT_EQ(Refusal(dir / "zqosrv.lock").rfind("Cannot create lock file " + dir / "zqosrv.lock", 0),
            0u);
  EXPECT_EQ(ReadFile(dir / "elsewhere"), "x");
  EXPECT_EQ(Refusal(dir / "none/zqosrv.lock"),
            "Cannot create lock file " + dir / "none/zqosrv.lock" + ": No such file or directory");
}

}  // namespace
}  // namespace zq

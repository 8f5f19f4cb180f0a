// The accounts file checked as a start would open it, for the configuration check: every
// refusal in the open's own words, and nothing written, not even beside a file in use; a
// file that the server's user may not open is named with its owner.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <map>

#include "accounts/AccountStore.h"
#include "tests/accounts/AccountsTestSupport.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

namespace fs = std::filesystem;
using test::IoErrorOf;
using test::TempDir;

// Every entry of the directory with its size and time of change.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Listing(const std::string& dir) {
  std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> entries;
  for (const auto& entry : fs::directory_iterator(dir))
    entries[entry.path().filename()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                        entry.last_write_time()};
  return entries;
}

TEST(AccountFileCheck, ACheckWritesNothingWhetherTheFileIsNewClosedOrInUse) {
  TempDir dir;
  const std::string path = dir / "odd ?#%25 name.db";  // nothing of it is read as a URI
  { TAccountStore store(path); }
  const auto before = Listing(dir.Path());
  TAccountDb::CheckOpenable(path);
  TAccountDb::CheckOpenable(dir / "not-yet.db");
  EXPECT_EQ(Listing(dir.Path()), before);

  TAccountStore running(path);  // a server's connection: its -wal and -shm exist
  TAccount alice;
  alice.Name = "alice";
  ASSERT_TRUE(running.Add(alice));
  const auto inUse = Listing(dir.Path());
  TAccountDb::CheckOpenable(path);
  EXPECT_EQ(Listing(dir.Path()), inUse);
  EXPECT_TRUE(running.Find("alice"));
}

TEST(AccountFileCheck, WhatTheOpenRefusesTheCheckRefusesInItsWords) {
  TempDir dir;
  { TAccountStore later(dir / "later.db"); }
  test::RawDb(dir / "later.db").Exec("PRAGMA user_version = 99");
  test::WriteFile(dir / "garbage.db", std::string(4096, 'x'));
  fs::create_directories(dir / "a-directory.db");
  for (const std::string name : {"later.db", "garbage.db", "a-directory.db", "none/zqosrv.db"}) {
    SCOPED_TRACE(name);
    const std::string path = dir / name;
    const std::string opened = IoErrorOf([&] { TAccountStore store(path); });
    EXPECT_NE(opened, "");
    EXPECT_EQ(IoErrorOf([&] { TAccountDb::CheckOpenable(path); }), opened);
  }
  EXPECT_FALSE(fs::exists(dir / "none"));
}

TEST(AccountFileCheck, AFileTheServersUserCannotOpenNamesItsOwnerAndTheFix) {
  // A file root made before this build gave it away: the service user's start, and its
  // check, say whose it is.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  TempDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  const std::string path = dir / "zqosrv.db";
  { TAccountStore store(path); }  // root's, 0600, in root's directory
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 1;
    if (::setgroups(0, nullptr) == 0 && ::setresgid(4322, 4322, 4322) == 0 &&
        ::setresuid(4321, 4321, 4321) == 0) {
      const std::string expected = path +
                                   ": cannot open: it belongs to uid 0 (mode 0600) and this "
                                   "process runs as uid 4321; chown it to the server's user";
      auto errorOf = [](auto open) -> std::string {
        try {
          open();
        } catch (const std::exception& e) {
          return e.what();
        }
        return "";
      };
      const std::string opened = errorOf([&] { TAccountStore store(path); });
      const std::string checked = errorOf([&] { TAccountDb::CheckOpenable(path); });
      status = opened.rfind(expected, 0) == 0 && checked == opened ? 0 : 2;
      if (status != 0) std::fprintf(stderr, "%s\n%s\n", opened.c_str(), checked.c_str());
    }
    ::_exit(status);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

}  // namespace
}  // namespace zq

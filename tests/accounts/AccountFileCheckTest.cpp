// The accounts file checked as a start would open it, for the configuration check: every
// refusal in the open's own words, and nothing written, not even beside a file in use.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zq

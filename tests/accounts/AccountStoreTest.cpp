// The accounts file: creation and mode, names without regard to case, every update's miss,
// errors that name the file, two writers at once without "database is locked", and what
// tells a connection that another one has written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "platform/Errors.h"
#include "tests/accounts/AccountsTestSupport.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

using test::IoErrorOf;
using test::RawDb;
using test::TempDir;

TAccount Named(const std::string& name, TPrivileges privileges = TPrivileges::Player) {
  TAccount account;
  account.Name = name;
  account.PasswordHash = "hash-of-" + name;
  account.Privileges = privileges;
  account.Created = 1000;
  return account;
}

TEST(AccountStore, CreatedWithOwnerOnlyModeInWalWithCurrentSchema) {
  TempDir dir;
  std::string path = dir / "zqosrv.db";
  umask(0);  // the file's mode must not depend on the umask
  { TAccountStore store(path); }
  umask(022);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  RawDb raw(path);
  EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.Text("PRAGMA user_version"), std::to_string(TAccountDb::SCHEMA_VERSION));
}

TEST(AccountStore, EmptyFileIsMigratedAndExistingModeKept) {
  TempDir dir;
  std::string path = dir / "empty.db";
  test::WriteFile(path, "");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  TAccountStore store(path, TAccountDb::TOpen::MustExist);
  EXPECT_TRUE(store.Add(Named("alice")));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);  // the operator's choice for an existing file
}

TEST(AccountStore, NamesAreUniqueWithoutRegardToCase) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  ASSERT_TRUE(store.Add(Named("Alice", TPrivileges::Admin)));
  EXPECT_FALSE(store.Add(Named("ALICE")));
  EXPECT_FALSE(store.Add(Named("alice")));
  ASSERT_TRUE(store.Add(Named("bob")));
  std::optional<TAccount> found = store.Find("aLiCe");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Name, "Alice");  // stored as first written
  EXPECT_EQ(found->PasswordHash, "hash-of-Alice");
  EXPECT_EQ(found->Privileges, TPrivileges::Admin);
  EXPECT_EQ(found->Created, 1000);
  EXPECT_FALSE(found->LastLogin);
  EXPECT_FALSE(store.Find("alic"));
  EXPECT_FALSE(store.Find("alice "));

  ASSERT_TRUE(store.Add(Named("carl")));
  std::vector<std::string> names;
  for (const TAccount& a : store.List()) names.push_back(a.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Alice", "bob", "carl"}));
}

TEST(AccountStore, NameRules) {
  EXPECT_EQ(AccountNameProblem("Alice Smith"), "");
  EXPECT_EQ(AccountNameProblem(std::string(47, 'x')), "");
  EXPECT_NE(AccountNameProblem(std::string(48, 'x')), "");
  EXPECT_NE(AccountNameProblem(""), "");
  EXPECT_NE(AccountNameProblem(" alice"), "");
  EXPECT_NE(AccountNameProblem("alice "), "");
  EXPECT_NE(AccountNameProblem("al\nice"), "");
  EXPECT_NE(AccountNameProblem(std::string("al\0ice", 6)), "");
  EXPECT_NE(AccountNameProblem("al\x7f"), "");

  TempDir dir;
  TAccountStore store(dir / "a.db");
  EXPECT_THROW(store.Add(Named("")), EConvertError);
  EXPECT_TRUE(store.List().empty());
}

TEST(AccountStore, UpdatesChangeOneAccountAndMissOnUnknownNames) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  ASSERT_TRUE(store.Add(Named("alice")));
  ASSERT_TRUE(store.Add(Named("bob")));

  EXPECT_TRUE(store.SetPasswordHash("ALICE", "new"));
  EXPECT_TRUE(store.SetPrivileges("Alice", TPrivileges::Admin));
  EXPECT_TRUE(store.RecordLogin("alice", 5000, "127.0.0.9"));
  EXPECT_TRUE(store.AddPlayTime("alice", 60));
  EXPECT_TRUE(store.AddPlayTime("alice", 30));
  EXPECT_TRUE(store.AddPlayTime("alice", -500));         // a clock step back adds nothing
  EXPECT_FALSE(store.ClaimPassword("alice", "stolen"));  // has one already

  TAccount alice = *store.Find("alice");
  EXPECT_EQ(alice.PasswordHash, "new");
  EXPECT_EQ(alice.Privileges, TPrivileges::Admin);
  EXPECT_EQ(alice.LastLogin, 5000);
  EXPECT_EQ(alice.LastAddress, "127.0.0.9");
  EXPECT_EQ(alice.PlaySeconds, 90);
  TAccount bob = *store.Find("bob");
  EXPECT_EQ(bob.PasswordHash, "hash-of-bob");
  EXPECT_EQ(bob.PlaySeconds, 0);

  for (const char* missing : {"carol", "alice2", ""}) {
    EXPECT_FALSE(store.SetPasswordHash(missing, "x"));
    EXPECT_FALSE(store.ClaimPassword(missing, "x"));
    EXPECT_FALSE(store.SetPrivileges(missing, TPrivileges::Admin));
    EXPECT_FALSE(store.RecordLogin(missing, 1, "127.0.0.1"));
    EXPECT_FALSE(store.AddPlayTime(missing, 1));
    EXPECT_FALSE(store.Remove(missing));
  }
  EXPECT_TRUE(store.Remove("BOB"));
  EXPECT_FALSE(store.Find("bob"));
  EXPECT_FALSE(store.Remove("bob"));
  EXPECT_EQ(store.List().size(), 1u);
}

TEST(AccountStore, PasswordClaimedOnlyWhileNoneIsSet) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  TAccount recorded = Named("drifter");
  recorded.PasswordHash.clear();
  ASSERT_TRUE(store.Add(recorded));
  EXPECT_FALSE(store.Find("drifter")->HasPassword());
  EXPECT_TRUE(store.ClaimPassword("DRIFTER", "first"));
  EXPECT_FALSE(store.ClaimPassword("drifter", "second"));
  EXPECT_EQ(store.Find("drifter")->PasswordHash, "first");
}

TEST(AccountStore, ErrorsNameTheFile) {
  TempDir dir;
  std::string garbage = dir / "garbage.db";
  test::WriteFile(garbage, std::string(4096, 'g'));
  std::string error = IoErrorOf([&] { TAccountStore store(garbage); });
  EXPECT_NE(error.find(garbage), std::string::npos) << error;

  std::string nowhere = dir / "no/such/dir/zqosrv.db";
  error = IoErrorOf([&] { TAccountStore store(nowhere); });
  EXPECT_NE(error.find(nowhere), std::string::npos) << error;

  std::string missing = dir / "missing.db";
  error = IoErrorOf([&] { TAccountStore store(missing, TAccountDb::TOpen::MustExist); });
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_NE(access(missing.c_str(), F_OK), 0);  // not created

  std::string later = dir / "later.db";
  { RawDb(later).Exec("PRAGMA user_version = 99"); }
  error = IoErrorOf([&] { TAccountStore store(later); });
  EXPECT_NE(error.find(later), std::string::npos) << error;
  EXPECT_NE(error.find("99"), std::string::npos) << error;
  EXPECT_EQ(RawDb(later).Text("PRAGMA user_version"), "99");  // left as it was
}

TEST(AccountStore, ReopenStartsAfreshAfterTheFileWasDeleted) {
  TempDir dir;
  std::string path = dir / "a.db";
  TAccountStore store(path);
  ASSERT_TRUE(store.Add(Named("alice")));
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  store.Reopen();
  EXPECT_TRUE(store.List().empty());
  ASSERT_TRUE(store.Add(Named("bob")));
  EXPECT_EQ(RawDb(path).Text("SELECT name FROM accounts"), "bob");
}

TEST(AccountStore, ChangesElsewhereAreNoticedAndItsOwnAreNot) {
  TempDir dir;
  std::string path = dir / "a.db";
  TAccountStore server(path);
  TAccountStore shell(path);
  EXPECT_FALSE(server.ChangedElsewhere());
  ASSERT_TRUE(server.Add(Named("alice")));  // the server's own writes: no look needed
  ASSERT_TRUE(server.RecordLogin("alice", 2000, "127.0.0.1"));
  EXPECT_FALSE(server.ChangedElsewhere());
  EXPECT_TRUE(shell.ChangedElsewhere());  // but the other connection sees them, once
  EXPECT_FALSE(shell.ChangedElsewhere());

  TBan ban;
  ban.Target = ParseBanTarget("alice");
  shell.Bans().Add(ban);
  EXPECT_TRUE(server.ChangedElsewhere());
  EXPECT_FALSE(server.ChangedElsewhere());                       // once
  RawDb(path).Exec("UPDATE accounts SET privileges = 'Admin'");  // another process
  EXPECT_TRUE(server.ChangedElsewhere());
  // Reopened, the file as it is counts as seen.
  ASSERT_TRUE(shell.SetPrivileges("alice", TPrivileges::Player));
  server.Reopen();
  EXPECT_FALSE(server.ChangedElsewhere());
}

TEST(AccountStore, WriterWaitsForAnotherConnectionsTransaction) {
  TempDir dir;
  std::string path = dir / "a.db";
  test::SleepWatch sleeps;  // before the store, whose connection it watches
  TAccountStore store(path);
  RawDb other(path);
  other.Exec("BEGIN IMMEDIATE");
  other.Exec("INSERT INTO accounts (name, created) VALUES ('held', 1)");
  std::atomic<bool> added{false};
  std::string failure;
  std::thread writer([&] {
    try {
      added = store.Add(Named("waiting"));
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  EXPECT_TRUE(sleeps.WaitForSleepOn(writer.get_id()));  // the writer waits for the lock
  EXPECT_FALSE(added);
  EXPECT_EQ(RawDb(path).Text("SELECT count(*) FROM accounts"), "0");  // readers are not
  other.Exec("COMMIT");
  writer.join();
  EXPECT_EQ(failure, "");
  EXPECT_TRUE(added);
  EXPECT_TRUE(store.Find("held"));
}

// Many small writes from two connections at once, as the server and the command line do.
void AddMany(const std::string& path, const std::string& prefix, int count) {
  TAccountStore store(path);
  for (int i = 0; i < count; ++i) {
    std::string name = prefix + std::to_string(i);
    if (!store.Add(Named(name))) throw std::runtime_error("lost " + name);
    store.RecordLogin(name, i, "127.0.0.1");
    store.AddPlayTime("shared", 1);
  }
}

TEST(AccountStore, TwoConnectionsWriteAtOnce) {
  TempDir dir;
  std::string path = dir / "a.db";
  TAccountStore store(path);
  ASSERT_TRUE(store.Add(Named("shared")));
  std::string failure;
  std::thread other([&] {
    try {
      AddMany(path, "thread-", 100);
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  AddMany(path, "main-", 100);
  other.join();
  EXPECT_EQ(failure, "");
  EXPECT_EQ(store.List().size(), 201u);
  EXPECT_EQ(store.Find("shared")->PlaySeconds, 200);
}

TEST(AccountStore, TwoProcessesWriteAtOnce) {
  TempDir dir;
  std::string path = dir / "a.db";
  TAccountStore store(path);
  ASSERT_TRUE(store.Add(Named("shared")));
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    int status = 0;
    try {
      AddMany(path, "child-", 100);
    } catch (...) {
      status = 1;
    }
    _exit(status);
  }
  AddMany(path, "parent-", 100);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(store.List().size(), 201u);
  EXPECT_EQ(store.Find("shared")->PlaySeconds, 200);
}

}  // namespace
}  // namespace zq

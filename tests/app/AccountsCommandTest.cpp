// `zqosrv accounts|bans ...` on a real file in a temporary directory: each command's success
// and failure, where the file lies, passwords kept out of the output, and changes made
// while another connection (the running server) has the file open.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "accounts/Times.h"
#include "app/AccountsCommand.h"
#include "tests/accounts/AccountsTestSupport.h"
#include "tests/app/AccountsCommandSupport.h"
#include "tests/app/HelpCheck.h"

namespace zq {
namespace {

using test::AccountsCommandTest;
using test::Result;

TEST_F(AccountsCommandTest, AccountsFromAddToRemove) {
  Result added = Run({"accounts", "add", "Alice", "--admin"}, "wonderland\n");
  ASSERT_EQ(added.Status, 0) << added.Err;
  EXPECT_NE(added.Out.find("Added account Alice (Admin)"), std::string::npos) << added.Out;
  ASSERT_EQ(Run({"accounts", "add", "bob"}, "builder\r\n").Status, 0);  // a CRLF line too

  {
    TAccountStore store(File());
    EXPECT_TRUE(hasher_.Verify(store.Find("alice")->PasswordHash, "wonderland"));
    EXPECT_TRUE(hasher_.Verify(store.Find("bob")->PasswordHash, "builder"));
    EXPECT_EQ(store.Find("alice")->Privileges, TPrivileges::Admin);
    EXPECT_EQ(store.Find("bob")->Privileges, TPrivileges::Player);
  }

  Result listed = Run({"accounts", "list"});
  ASSERT_EQ(listed.Status, 0) << listed.Err;
  EXPECT_EQ(listed.Out.rfind("NAME", 0), 0u) << listed.Out;
  EXPECT_NE(listed.Out.find("Alice"), std::string::npos);
  EXPECT_NE(listed.Out.find("Admin"), std::string::npos);
  EXPECT_NE(listed.Out.find("never"), std::string::npos);

  ASSERT_EQ(Run({"accounts", "passwd", "BOB"}, "digger\n").Status, 0);
  ASSERT_EQ(Run({"accounts", "set", "bob", "--privileges", "admin"}).Status, 0);
  ASSERT_EQ(Run({"accounts", "remove", "ALICE"}).Status, 0);
  TAccountStore store(File());
  EXPECT_TRUE(hasher_.Verify(store.Find("bob")->PasswordHash, "digger"));
  EXPECT_EQ(store.Find("bob")->Privileges, TPrivileges::Admin);
  EXPECT_FALSE(store.Find("alice"));
}

TEST_F(AccountsCommandTest, FailuresNameTheFileOrValueAndExitOne) {
  Result missing = Run({"accounts", "list"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find(File()), std::string::npos) << missing.Err;
  EXPECT_NE(access(File().c_str(), F_OK), 0);  // listing creates nothing

  ASSERT_EQ(Run({"accounts", "add", "Alice"}, "pw\n").Status, 0);
  Result taken = Run({"accounts", "add", "ALICE"}, "pw\n");
  EXPECT_EQ(taken.Status, 1);
  EXPECT_NE(taken.Err.find(File()), std::string::npos) << taken.Err;

  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"accounts", "passwd", "nobody"},
        std::vector<std::string>{"accounts", "remove", "nobody"},
        std::vector<std::string>{"accounts", "set", "nobody", "--privileges", "Player"}}) {
    Result r = Run(words, "pw\n");
    EXPECT_EQ(r.Status, 1) << words[1];
    EXPECT_NE(r.Err.find("\"nobody\""), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find(File()), std::string::npos) << r.Err;
  }
  Result privileges = Run({"accounts", "set", "alice", "--privileges", "Root"});
  EXPECT_EQ(privileges.Status, 1);
  EXPECT_NE(privileges.Err.find("\"Root\""), std::string::npos) << privileges.Err;

  Result badName = Run({"accounts", "add", " spaced"}, "pw\n");
  EXPECT_EQ(badName.Status, 1);
  EXPECT_NE(badName.Err.find("\" spaced\""), std::string::npos) << badName.Err;

  EXPECT_EQ(Run({"accounts", "add", "carol"}, "").Status, 1);    // no line at all
  EXPECT_EQ(Run({"accounts", "add", "carol"}, "\n").Status, 1);  // an empty password
  EXPECT_FALSE(TAccountStore(File()).Find("carol"));

  EXPECT_EQ(Run({"accounts", "frobnicate"}).Status, 1);
  EXPECT_EQ(Run({"accounts"}).Status, 1);
  EXPECT_EQ(Run({"accounts", "add"}).Status, 1);
  Result noDir = Run({"accounts", "list", "--game-dir", dir_ / "absent"});
  EXPECT_EQ(noDir.Status, 1);
  EXPECT_NE(noDir.Err.find(dir_ / "absent"), std::string::npos) << noDir.Err;

  std::ostringstream out, err;
  std::istringstream in;
  EXPECT_EQ(RunAccountsCommand({"players"}, in, out, err), 1);
}

TEST_F(AccountsCommandTest, PasswordsNeverReachTheOutput) {
  const std::string secret = "s3cret-Phrase";
  std::vector<Result> results = {Run({"accounts", "add", "Alice"}, secret + "\n"),
                                 Run({"accounts", "passwd", "alice"}, secret + "2\n"),
                                 Run({"accounts", "add", "alice"}, secret + "\n"),
                                 Run({"accounts", "list"})};
  for (const Result& r : results) {
    EXPECT_EQ(r.Out.find(secret), std::string::npos) << r.Out;
    EXPECT_EQ(r.Err.find(secret), std::string::npos) << r.Err;
  }
}

TEST_F(AccountsCommandTest, WhereTheFileLies) {
  std::string elsewhere = dir_ / "sub";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  // A relative --accounts is taken from the game directory, where the server runs.
  Result relative = Run({"bans", "add", "127.0.0.1", "--accounts", "sub/other.db"});
  ASSERT_EQ(relative.Status, 0) << relative.Err;
  EXPECT_EQ(access((elsewhere + "/other.db").c_str(), F_OK), 0);
  EXPECT_NE(access(File().c_str(), F_OK), 0);
  // The file options may stand before the subcommand too.
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(
      RunAccountsCommand({"bans", "--accounts", elsewhere + "/other.db", "list"}, in, out, err), 0)
      << err.str();
  EXPECT_NE(out.str().find("127.0.0.1"), std::string::npos);

  EXPECT_EQ(AccountsFilePath("", ""), "./zqosrv.db");
  EXPECT_EQ(AccountsFilePath("/srv/game", ""), "/srv/game/zqosrv.db");
  EXPECT_EQ(AccountsFilePath("/srv/game", "/etc/zq.db"), "/etc/zq.db");
}

TEST_F(AccountsCommandTest, BansAddListRemove) {
  Result timed = Run({"bans", "add", "Mallory", "--for", "2h", "--reason", "griefing"});
  ASSERT_EQ(timed.Status, 0) << timed.Err;
  EXPECT_NE(timed.Out.find("for 2h"), std::string::npos) << timed.Out;
  ASSERT_EQ(Run({"bans", "add", "127.0.4.9/24"}).Status, 0);

  Result listed = Run({"bans", "list"});
  ASSERT_EQ(listed.Status, 0) << listed.Err;
  EXPECT_NE(listed.Out.find("Mallory"), std::string::npos) << listed.Out;
  EXPECT_NE(listed.Out.find("griefing"), std::string::npos);
  EXPECT_NE(listed.Out.find("127.0.4.0/24"), std::string::npos);
  EXPECT_NE(listed.Out.find("for good"), std::string::npos);
  {
    TAccountStore store(File());
    std::optional<TBan> mallory = store.Bans().FindForName("mallory", SystemWallClock());
    ASSERT_TRUE(mallory);
    EXPECT_EQ(*mallory->Expires - mallory->Created, 7200);
    EXPECT_TRUE(store.Bans().FindForAddress("127.0.4.200", SystemWallClock()));
  }

  Result badDuration = Run({"bans", "add", "bob", "--for", "2 weeks"});
  EXPECT_EQ(badDuration.Status, 1);
  EXPECT_NE(badDuration.Err.find("\"2 weeks\""), std::string::npos) << badDuration.Err;
  Result badTarget = Run({"bans", "add", "10.0.0.256"});
  EXPECT_EQ(badTarget.Status, 1);
  EXPECT_NE(badTarget.Err.find("10.0.0.256"), std::string::npos) << badTarget.Err;

  ASSERT_EQ(Run({"bans", "remove", "MALLORY"}).Status, 0);
  ASSERT_EQ(Run({"bans", "remove", "127.0.4.0/24"}).Status, 0);
  Result notBanned = Run({"bans", "remove", "mallory"});
  EXPECT_EQ(notBanned.Status, 1);
  EXPECT_NE(notBanned.Err.find(File()), std::string::npos) << notBanned.Err;
  EXPECT_NE(Run({"bans", "list"}).Out.find("No bans"), std::string::npos);
}

TEST_F(AccountsCommandTest, ChangesWhileTheServerHasTheFileOpen) {
  test::SleepWatch sleeps;       // before every connection it watches
  TAccountStore server(File());  // as the running server holds it
  TAccount player;
  player.Name = "Player";
  player.PasswordHash = hasher_.Hash("old");
  ASSERT_TRUE(server.Add(player));

  ASSERT_EQ(Run({"accounts", "passwd", "player"}, "new\n").Status, 0);
  EXPECT_TRUE(hasher_.Verify(server.Find("player")->PasswordHash, "new"));  // seen at once

  // The server is in the middle of a write: the command waits for it instead of failing, and
  // the write ends only once the command is seen waiting.
  test::RawDb raw(File());
  raw.Exec("BEGIN IMMEDIATE");
  raw.Exec("UPDATE accounts SET play_seconds = 60 WHERE name = 'Player'");
  bool commandWaited = false;
  std::thread serverWrite([&, command = std::this_thread::get_id()] {
    commandWaited = sleeps.WaitForSleepOn(command);
    raw.Exec("COMMIT");
  });
  Result added = Run({"bans", "add", "Intruder", "--reason", "while busy"});
  serverWrite.join();
  EXPECT_TRUE(commandWaited);
  EXPECT_EQ(added.Status, 0) << added.Err;
  EXPECT_TRUE(server.Bans().FindForName("intruder", SystemWallClock()));
  EXPECT_EQ(server.Find("player")->PlaySeconds, 60);
  ASSERT_EQ(Run({"accounts", "remove", "player"}).Status, 0);
  EXPECT_FALSE(server.Find("player"));
}

TEST_F(AccountsCommandTest, RootMakesTheFileForTheGameDirectorysOwnerWhoCanThenOpenIt) {
  // `zqosrv accounts add alice --admin` as root before the service's first start.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const uid_t user = 4321;
  const gid_t group = 4322;
  ASSERT_EQ(::chown(dir_.Path().c_str(), user, group), 0);
  Result added = Run({"accounts", "add", "alice", "--admin"}, "secret\n");
  ASSERT_EQ(added.Status, 0) << added.Err;
  struct stat file {};
  ASSERT_EQ(::stat(File().c_str(), &file), 0);
  EXPECT_EQ(file.st_uid, user);
  EXPECT_EQ(file.st_gid, group);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  {
    TAccountStore root(File());  // root's writes leave -wal and -shm of the same owner
    ASSERT_TRUE(root.SetPrivileges("alice", TPrivileges::Admin));
    for (const char* side : {"-wal", "-shm"}) {
      ASSERT_EQ(::stat((File() + side).c_str(), &file), 0) << side;
      EXPECT_EQ(file.st_uid, user) << side;
    }
  }
  // The service user opens and writes it.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 1;
    if (::setgroups(0, nullptr) == 0 && ::setresgid(group, group, group) == 0 &&
        ::setresuid(user, user, user) == 0) {
      try {
        TAccountStore service(File(), TAccountDb::TOpen::MustExist);
        status =
            service.Find("alice") && service.SetPrivileges("alice", TPrivileges::Player) ? 0 : 2;
      } catch (const std::exception&) {
        status = 3;
      }
    }
    ::_exit(status);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

TEST_F(AccountsCommandTest, DefaultHashIsTheServersModerateArgon2id) {
  std::istringstream in("pw\n");
  std::ostringstream out, err;
  ASSERT_EQ(
      RunAccountsCommand({"accounts", "add", "Real", "--game-dir", dir_.Path()}, in, out, err), 0)
      << err.str();
  std::string hash = TAccountStore(File()).Find("real")->PasswordHash;
  EXPECT_EQ(hash.rfind("$argon2id$v=19$m=19456,t=2,", 0), 0u) << hash;
  EXPECT_TRUE(TArgon2Hasher().Verify(hash, "pw"));
}

TEST_F(AccountsCommandTest, HelpNamesEveryOptionAndValueAndNothingOfTheLibrary) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> helps[] = {
      {{"accounts", "--help"},
       {"Usage: zqosrv accounts [OPTIONS] SUBCOMMAND", "--accounts FILE", "--game-dir DIR",
        "  list ", "  add ", "  passwd ", "  remove ", "  set "}},
      {{"bans", "-h"},
       {"Usage: zqosrv bans [OPTIONS] SUBCOMMAND", "--accounts FILE", "--game-dir DIR", "  list ",
        "  add ", "  remove "}},
      {{"accounts", "add", "--help"}, {"Usage: zqosrv accounts add [OPTIONS] NAME", "--admin "}},
      {{"accounts", "set", "--help"}, {"  NAME ", "--privileges P "}},
      {{"bans", "add", "--help"},
       {"Usage: zqosrv bans add [OPTIONS] TARGET", "--kind KIND ", "--for DURATION ",
        "--reason REASON ", "--force "}},
      {{"bans", "remove", "--help"}, {"  TARGET ", "--kind KIND "}},
  };
  for (const auto& [args, entries] : helps) {
    const Result help = Run(args);
    EXPECT_EQ(help.Status, 0) << args[1];
    EXPECT_EQ(help.Err, "");
    for (const std::string& entry : entries)
      EXPECT_NE(help.Out.find(entry), std::string::npos) << entry << " in:\n" << help.Out;
    test::ExpectNoLibraryArtefacts(help.Out);
  }
}

}  // namespace
}  // namespace zq

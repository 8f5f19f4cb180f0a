// Attacks on the game's login over loopback: a client that leaves and rejoins in a loop with
// its own correct password to make the server hash on demand, and a squatter who joins an
// open server under an Admin's name to lock the Admin out; and the verdict a connection holds
// between games keeps no ban or Admin the file has taken away. The clock is the test's.
#include "protocol/MessageCodes.h"
#include "tests/server/LoginTestSupport.h"
#include "tests/support/FakeClock.h"

namespace zq::test {
namespace {

// Leaves the game and starts it again on the same connection; true once back in the game.
bool Rejoin(TZQClient& c, const PumpHook& pump) {
  c.ClearInbox();
  c.SendClientGone();
  c.SendStartGame();
  return c.WaitFor<msg::AssignGUID>(10000, pump).has_value();
}

TEST_F(LoginTest, RejoiningInALoopIsCheckedOnceEveryTenSeconds) {
  FakeClock clock(1'000'000);
  StartWith(TAuthMode::Claim);
  TZQClient& looper = Login("looper", "mine");
  ASSERT_EQ(looper.Setup(), SetupState::InGame);
  const int claimed = hasher_->calls;  // the claim's hash (and the check's first, its dummy)
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(Rejoin(looper, pump_)) << i;
    FakeClock::Advance(400);  // 8 s in all
  }
  EXPECT_EQ(hasher_->calls, claimed);  // every rejoin on the verdict it had
  EXPECT_EQ(CountLines("Connected from"), 1);

  FakeClock::Advance(2'000);  // ten seconds after the check: checked again
  ASSERT_TRUE(Rejoin(looper, pump_));
  EXPECT_EQ(hasher_->calls, claimed + 1);
  ASSERT_TRUE(Rejoin(looper, pump_));
  EXPECT_EQ(hasher_->calls, claimed + 1);

  // Another password is another login: checked at once, and refused.
  looper.SendLoginPassword("guess");
  looper.SendClientGone();
  looper.SendStartGame();
  EXPECT_EQ(RefusalOf(looper), "Wrong name or password.");
  EXPECT_EQ(hasher_->calls, claimed + 2);
}

TEST_F(LoginTest, AVerdictHeldBetweenGamesLosesWhatTheFileTookAway) {
  FakeClock clock(1'000'000);
  TServerOptions options;
  options.BeatInterval = 3'600'000;  // the test's own cycle only
  StartWith(TAuthMode::Registered, options);
  AddAccount("Root", "rootpw", TPrivileges::Admin);
  AddAccount("dave", "davepw");
  TZQClient& root = Login("root", "rootpw");
  TZQClient& dave = Login("dave", "davepw");
  ASSERT_EQ(dave.Setup(), SetupState::InGame);
  root.SendClientGone();
  dave.SendClientGone();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  // Between games, each holds the verdict it would rejoin on; the shell takes them away.
  ASSERT_TRUE(Shell({"accounts", "set", "root", "--privileges", "Player"}));
  ASSERT_TRUE(Shell({"bans", "add", "Dave"}));
  server_->Running()->Connections().OnBeatTimer();
  EXPECT_EQ(RefusalOf(dave), "You are banned.");
  EXPECT_GE(LineIndex("Root is no longer an Admin."), 0);
  const int calls = hasher_->calls;
  ASSERT_TRUE(Rejoin(root, pump_));
  EXPECT_EQ(hasher_->calls, calls);  // on the verdict held, lowered
  ASSERT_NE(Player("root"), nullptr);
  EXPECT_FALSE(Player("root")->Admin);
}

TEST_F(LoginTest, ASquatterCannotTakeAnAdminsNameOnAnOpenServer) {
  StartWith(TAuthMode::Open);
  AddAccount("Boss", "bosspw", TPrivileges::Admin);
  EXPECT_EQ(RefusalOf(Login("BOSS", "")), "Wrong name or password.");
  EXPECT_GE(LineIndex("Login refused for Boss from 127.0.0.1: Wrong name or password."), 0);
  EXPECT_TRUE(server_->Status().Players->empty());

  TZQClient& boss = Login("boss", "bosspw");
  ASSERT_EQ(boss.Setup(), SetupState::InGame);
  ASSERT_NE(Player("boss"), nullptr);
  EXPECT_TRUE(Player("boss")->Admin);
  // The Admin's own ghost session does not lock it out either: its password takes over.
  TZQClient& again = Login("Boss", "bosspw");
  ASSERT_EQ(again.Setup(), SetupState::InGame);
  EXPECT_TRUE(WaitUntil([&] { return boss.IsClosed(); }));
  EXPECT_FALSE(boss.Refused());
  // A Player's name stays first come, first served.
  ASSERT_EQ(Join("erin").Setup(), SetupState::InGame);
  EXPECT_EQ(RefusalOf(Login("Erin", "x")), "This name is in the game already.");
}

}  // namespace
}  // namespace zq::test

// The accounts file changed from the shell while the server runs, as an operator acting on an
// attack would: a ban and a withdrawn Admin reach the players in the game within one heartbeat
// cycle, without a reload. The heartbeat's timer is held off; the test runs the cycle.
#include "tests/server/LoginTestSupport.h"

namespace zq::test {
namespace {

class AccountsFileAttackTest : public LoginTest {
 protected:
  void SetUp() override {
    TServerOptions options;
    options.BeatInterval = 3'600'000;  // the test's own cycles only
    StartWith(TAuthMode::Registered, options);
    AddAccount("Boss", "bosspw", TPrivileges::Admin);
    AddAccount("dave", "davepw");
    boss_ = &Login("boss", "bosspw");
    ASSERT_EQ(boss_->Setup(), SetupState::InGame);
    dave_ = &Login("dave", "davepw");
    ASSERT_EQ(dave_->Setup(), SetupState::InGame);
  }
  void BeatCycle() { server_->Running()->Connections().OnBeatTimer(); }

  TZQClient* boss_ = nullptr;
  TZQClient* dave_ = nullptr;
};

TEST_F(AccountsFileAttackTest, ABanFromTheShellKicksThePlayerWithinOneCycle) {
  ASSERT_TRUE(Shell({"bans", "add", "dave", "--reason", "griefing"}));
  BeatCycle();
  EXPECT_EQ(RefusalOf(*dave_), "You are banned.");
  EXPECT_GE(LineIndex("Client 127.0.0.1 dropped due to ban."), 0);
  EXPECT_FALSE(boss_->IsClosed());
  EXPECT_EQ(RefusalOf(Login("dave", "davepw")), "You are banned.");
}

TEST_F(AccountsFileAttackTest, AnAdminWithdrawnFromTheShellIsAPlayerWithinOneCycle) {
  ASSERT_TRUE(Player("boss")->Admin);
  ASSERT_TRUE(Shell({"accounts", "set", "BOSS", "--privileges", "Player"}));
  BeatCycle();
  ASSERT_TRUE(WaitUntil([&] { return !Player("boss")->Admin; }));
  EXPECT_GE(LineIndex("Boss is no longer an Admin."), 0);
  EXPECT_FALSE(boss_->IsClosed());
  EXPECT_FALSE(dave_->IsClosed());
}

}  // namespace
}  // namespace zq::test

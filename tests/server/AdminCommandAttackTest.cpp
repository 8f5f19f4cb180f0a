// Attacks by an Admin whose privileges were taken away from the shell: its commands in the
// game must stop working at once, without a reload, and a reload re-checks every player.
#include "protocol/MessageCodes.h"
#include "tests/server/LoginTestSupport.h"

namespace zq::test {
namespace {

class AdminCommandAttackTest : public LoginTest {
 protected:
  void SetUp() override {
    StartWith(TAuthMode::Registered);
    AddAccount("Boss", "bosspw", TPrivileges::Admin);
    AddAccount("Chief", "chiefpw", TPrivileges::Admin);
    boss_ = &Login("boss", "bosspw");
    ASSERT_EQ(boss_->Setup(), SetupState::InGame);
    chief_ = &Login("chief", "chiefpw");
    ASSERT_EQ(chief_->Setup(), SetupState::InGame);
  }
  // What `admin` hears from itself, `count` lines, after saying each of `commands`.
  std::vector<std::string> Ask(TZQClient& admin, const std::vector<std::string>& commands,
                               std::size_t count = 1) {
    admin.ClearInbox();
    for (const std::string& command : commands) admin.SendClientSay(command);
    std::vector<std::string> answers;
    while (answers.size() < count) {
      auto speech = admin.WaitFor<msg::PlayerSpeech>(
          10000, pump_, [&](const msg::PlayerSpeech& s) { return s.GUID == admin.Guid(); });
      if (!speech) break;
      answers.push_back(speech->Text);
    }
    return answers;
  }
  std::string Ask(TZQClient& admin, const std::string& command) {
    std::vector<std::string> answers = Ask(admin, std::vector<std::string>{command});
    return answers.empty() ? "(no answer)" : answers[0];
  }

  TZQClient* boss_ = nullptr;
  TZQClient* chief_ = nullptr;
};

TEST_F(AdminCommandAttackTest, CommandsOfARevokedAdminAreRefusedAtOnce) {
  ASSERT_EQ(Ask(*boss_, "/players"), "2 players: Boss, Chief");
  ASSERT_TRUE(Shell({"accounts", "set", "boss", "--privileges", "Player"}));
  ASSERT_TRUE(Shell({"accounts", "remove", "chief"}));
  // No reload: each command reads the account as it is now; commands sent back to back were
  // all taken as commands, and all are refused.
  EXPECT_EQ(
      Ask(*boss_, {"/pause", "/kick Chief"}, 2),
      (std::vector<std::string>{"You are no longer an Admin.", "You are no longer an Admin."}));
  EXPECT_EQ(Ask(*chief_, "/kick Boss"), "You are no longer an Admin.");
  EXPECT_FALSE(server_->Status().Paused);
  EXPECT_FALSE(boss_->IsClosed());
  EXPECT_FALSE(chief_->IsClosed());
  EXPECT_FALSE(Player("boss")->Admin);
  EXPECT_FALSE(Player("chief")->Admin);
  EXPECT_GE(LineIndex("Boss is no longer an Admin: /pause refused."), 0);
  EXPECT_GE(LineIndex("Boss is no longer an Admin: /kick Chief refused."), 0);
  EXPECT_GE(LineIndex("Chief is no longer an Admin: /kick Boss refused."), 0);
  EXPECT_EQ(CountLines("Admin Boss: "), 1);  // the one command carried out
  // A Player now, its "/..." is ordinary speech again.
  chief_->ClearInbox();
  boss_->SendClientSay("/resume");
  auto heard = chief_->WaitFor<msg::PlayerSpeech>(
      10000, pump_, [&](const msg::PlayerSpeech& s) { return s.GUID == boss_->Guid(); });
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->Text, "\"/resume\"");
}

TEST_F(AdminCommandAttackTest, AReloadReChecksThePlayersInTheGame) {
  ASSERT_TRUE(Shell({"accounts", "set", "Chief", "--privileges", "Player"}));
  server_->Reload();
  ASSERT_TRUE(WaitUntil([&] { return !Player("chief")->Admin; }));
  EXPECT_TRUE(Player("boss")->Admin);
  EXPECT_GE(LineIndex("Chief is no longer an Admin."), 0);
  for (const TConnectionStatus& c : server_->Status().Connections)
    EXPECT_EQ(c.Admin, c.PlayerName == "Boss") << c.PlayerName;
}

}  // namespace
}  // namespace zq::test

// Admin commands typed as speech over loopback: the answer reaches the admin alone and the
// command is never relayed; a Player's "/..." is ordinary speech; kick, ban and unban act on
// the players and the accounts file; pause and resume; mistakes are answered.
#include "protocol/MessageCodes.h"
#include "tests/server/LoginTestSupport.h"

namespace zq::test {
namespace {

class AdminTest : public LoginTest {
 protected:
  void SetUp() override {
    StartWith(TAuthMode::Registered);
    AddAccount("Root", "rootpw", TPrivileges::Admin);
    AddAccount("bob", "bobpw");
    AddAccount("Big Bob", "bigpw");
    admin_ = &Login("root", "rootpw");
    ASSERT_EQ(admin_->Setup(), SetupState::InGame);
    bob_ = &Login("bob", "bobpw");
    ASSERT_EQ(bob_->Setup(), SetupState::InGame);
    ASSERT_TRUE(admin_->WaitFor<msg::PlayerInfo>(10000, pump_));  // bob is in view
    admin_->ClearInbox();
    bob_->ClearInbox();
  }
  // The speech texts the admin hears from itself for `command`, `lines` of them.
  std::vector<std::string> Ask(const std::string& command, std::size_t lines = 1) {
    admin_->SendClientSay(command);
    std::vector<std::string> answers;
    while (answers.size() < lines) {
      auto speech = admin_->WaitFor<msg::PlayerSpeech>(10000, pump_);
      if (!speech) break;
      EXPECT_EQ(speech->GUID, admin_->Guid());
      answers.push_back(speech->Text);
    }
    return answers;
  }
  // True when bob heard any speech within a short wait.
  bool BobHeardSomething() { return bob_->WaitFor<msg::PlayerSpeech>(300, pump_).has_value(); }

  TZQClient* admin_ = nullptr;
  TZQClient* bob_ = nullptr;
};

TEST_F(AdminTest, PlayersIsAnsweredToTheAdminAloneAndNotRelayed) {
  EXPECT_EQ(Ask("/players"), std::vector<std::string>{"2 players: Root, bob"});
  EXPECT_FALSE(BobHeardSomething());
  EXPECT_GE(LineIndex("Admin Root: /players"), 0);

  // A Player's "/..." is speech like any other, heard by everyone in view.
  bob_->SendClientSay("/kick Root");
  auto heard = admin_->WaitFor<msg::PlayerSpeech>(10000, pump_);
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->GUID, bob_->Guid());
  EXPECT_EQ(heard->Text, "\"/kick Root\"");
  EXPECT_FALSE(admin_->IsClosed());
}

TEST_F(AdminTest, MistakesAreAnsweredAndChangeNothing) {
  std::vector<std::string> unknown = Ask("/frobnicate now");
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].rfind("Unknown command \"/frobnicate\"", 0), 0u) << unknown[0];
  EXPECT_EQ(Ask("/kick"),
            std::vector<std::string>{"Usage: /kick NAME (in double quotes if it has spaces)"});
  EXPECT_EQ(Ask("/kick nobody"),
            std::vector<std::string>{"No player named nobody is in the game."});
  std::vector<std::string> bad = Ask("/ban bob 10");
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(bad[0].rfind("Bad duration \"10\"", 0), 0u) << bad[0];
  EXPECT_TRUE(Store().Bans().List().empty());
  EXPECT_EQ(Ask("/unban bob"), std::vector<std::string>{"bob is not banned."});
  EXPECT_FALSE(bob_->IsClosed());
}

TEST_F(AdminTest, KickClosesThePlayerWithTheKickText) {
  EXPECT_EQ(Ask("/KICK BOB"), std::vector<std::string>{"Kicked bob."});
  EXPECT_EQ(RefusalOf(*bob_), "You were kicked by an admin.");
  EXPECT_GE(LineIndex("Client 127.0.0.1 kicked by Root."), 0);
  // Kicked, not banned: bob may come back.
  EXPECT_EQ(Login("bob", "bobpw").Setup(), SetupState::InGame);
}

TEST_F(AdminTest, BanKicksAtOnceAndUnbanLetsBackIn) {
  EXPECT_EQ(Ask("/ban bob 10m spamming"), std::vector<std::string>{"Banned bob for 10m."});
  EXPECT_EQ(RefusalOf(*bob_), "You are banned.");
  std::vector<TBan> bans = Store().Bans().List();
  ASSERT_EQ(bans.size(), 1u);
  EXPECT_EQ(bans[0].Reason, "spamming");
  ASSERT_TRUE(bans[0].Expires);
  EXPECT_NEAR(static_cast<double>(*bans[0].Expires - bans[0].Created), 600.0, 1.0);
  EXPECT_EQ(RefusalOf(Login("bob", "bobpw")), "You are banned.");

  EXPECT_EQ(Ask("/unban BOB"), std::vector<std::string>{"Unbanned BOB."});
  EXPECT_TRUE(Store().Bans().List().empty());
  // Both logged, naming the admin.
  EXPECT_LT(LineIndex("Ban on bob added by Root."), LineIndex("Ban on BOB lifted by Root."));
  EXPECT_GE(LineIndex("Ban on bob added by Root."), 0);
  EXPECT_EQ(Login("bob", "bobpw").Setup(), SetupState::InGame);
  // A quoted name with a space, banned for good.
  EXPECT_EQ(Ask("/ban \"Big Bob\""), std::vector<std::string>{"Banned Big Bob for good."});
  EXPECT_EQ(RefusalOf(Login("big bob", "bigpw")), "You are banned.");
}

TEST_F(AdminTest, PauseKeepsPlayersOutButNotTheAdmin) {
  EXPECT_EQ(Ask("/pause"), std::vector<std::string>{"Server paused: only admins may join."});
  EXPECT_TRUE(server_->Status().Paused);
  EXPECT_EQ(Ask("/pause"), std::vector<std::string>{"The server is paused already."});
  EXPECT_FALSE(bob_->IsClosed());  // those in stay in
  EXPECT_EQ(Ask("/resume"), std::vector<std::string>{"Server resumed: everyone may join."});
  EXPECT_FALSE(server_->Status().Paused);
  EXPECT_EQ(Ask("/resume"), std::vector<std::string>{"The server is not paused."});
}

}  // namespace
}  // namespace zq::test

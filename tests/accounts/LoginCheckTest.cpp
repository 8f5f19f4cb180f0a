// The login decision in each mode: accept and refuse paths, bans before any hashing, the
// per-address limit, and a broken accounts file.
#include <gtest/gtest.h>

#include "accounts/LoginCheck.h"
#include "tests/accounts/AccountsTestSupport.h"
#include "tests/accounts/LoginCheckFixture.h"

namespace zq {
namespace {

class LoginCheckTest : public test::LoginCheckFixture {};

TEST_F(LoginCheckTest, OpenAcceptsAnythingAndRecordsNames) {
  TLoginVerdict first = Login("Wanderer", "whatever", "127.0.0.7");
  EXPECT_TRUE(first.Accepted());
  EXPECT_TRUE(first.AccountCreated);
  EXPECT_EQ(first.Serial, serial_);
  EXPECT_EQ(first.Privileges, TPrivileges::Player);
  std::optional<TAccount> recorded = store_.Find("wanderer");
  ASSERT_TRUE(recorded);
  EXPECT_FALSE(recorded->HasPassword());
  EXPECT_EQ(recorded->LastLogin, now_);
  EXPECT_EQ(recorded->LastAddress, "127.0.0.7");

  now_ += 10;
  TLoginVerdict again = Login("WANDERER", "", "127.0.0.8");
  EXPECT_TRUE(again.Accepted());
  EXPECT_FALSE(again.AccountCreated);
  EXPECT_EQ(again.Name, "Wanderer");
  EXPECT_EQ(store_.Find("wanderer")->LastAddress, "127.0.0.8");

  TLoginVerdict unnamed = Login("", "");  // joins as before, recorded nowhere
  EXPECT_TRUE(unnamed.Accepted());
  EXPECT_FALSE(unnamed.AccountCreated);
  EXPECT_EQ(store_.List().size(), 1u);
  EXPECT_EQ(hasher_.Calls(), 0);  // nothing to check
}

TEST_F(LoginCheckTest, OpenGivesAdminOnlyWithTheAdminsPassword) {
  AddAccount("Boss", "secret", TPrivileges::Admin);
  AddAccount("Pal", "pal-pass", TPrivileges::Player);
  TLoginVerdict boss = Login("boss", "secret", "127.0.0.3");
  EXPECT_TRUE(boss.Accepted());
  EXPECT_EQ(boss.Privileges, TPrivileges::Admin);
  EXPECT_EQ(boss.Name, "Boss");
  EXPECT_EQ(store_.Find("boss")->LastAddress, "127.0.0.3");
  TLoginVerdict pal = Login("pal", "wrong");
  EXPECT_TRUE(pal.Accepted());
  EXPECT_EQ(pal.Privileges, TPrivileges::Player);
  EXPECT_EQ(hasher_.Verifies, 1);  // a Player account's password is never checked
}

TEST_F(LoginCheckTest, ClaimCreatesOnFirstLoginThenNeedsThePassword) {
  check_.SetMode(TAuthMode::Claim);
  TLoginVerdict created = Login("Hero", "sword");
  EXPECT_TRUE(created.Accepted());
  EXPECT_TRUE(created.AccountCreated);
  EXPECT_EQ(created.Privileges, TPrivileges::Player);
  EXPECT_TRUE(store_.Find("hero")->HasPassword());

  TLoginVerdict wrong = Login("HERO", "shield");
  EXPECT_EQ(wrong.Outcome, TLoginOutcome::WrongNameOrPassword);
  EXPECT_EQ(RefusalText(wrong.Outcome), "Wrong name or password.");
  EXPECT_EQ(RefusalLogLine(wrong),
            "Login refused for Hero from 127.0.0.1: Wrong name or password.");

  TLoginVerdict right = Login("hero", "sword");
  EXPECT_TRUE(right.Accepted());
  EXPECT_FALSE(right.AccountCreated);
  EXPECT_EQ(right.Name, "Hero");

  // No password to claim with, and names the game could not carry.
  EXPECT_EQ(Login("Newcomer", "").Outcome, TLoginOutcome::WrongNameOrPassword);
  EXPECT_EQ(Login("", "pw").Outcome, TLoginOutcome::WrongNameOrPassword);
  EXPECT_EQ(Login(" padded", "pw").Outcome, TLoginOutcome::WrongNameOrPassword);
  EXPECT_FALSE(store_.Find("Newcomer"));
}

TEST_F(LoginCheckTest, ClaimTakesNamesRecordedOpenAndCutsLongNames) {
  Login("Drifter", "ignored");  // open: recorded without a password
  check_.SetMode(TAuthMode::Claim);
  TLoginVerdict claimed = Login("drifter", "mine");
  EXPECT_TRUE(claimed.Accepted());
  EXPECT_FALSE(claimed.AccountCreated);
  EXPECT_EQ(Login("drifter", "other").Outcome, TLoginOutcome::WrongNameOrPassword);

  std::string longName(60, 'n');
  TLoginVerdict cut = Login(longName, "pw");
  EXPECT_TRUE(cut.Accepted());
  EXPECT_EQ(cut.Name, std::string(47, 'n'));
  EXPECT_TRUE(Login(longName + "tail", "pw").Accepted());  // the same 47 bytes
}

TEST_F(LoginCheckTest, RegisteredAdmitsOnlyAccountsWithTheirPassword) {
  check_.SetMode(TAuthMode::Registered);
  AddAccount("Keeper", "key", TPrivileges::Admin);
  AddAccount("Ghost", "", TPrivileges::Player);  // recorded, never given a password
  EXPECT_EQ(Login("stranger", "x").Outcome, TLoginOutcome::WrongNameOrPassword);
  EXPECT_EQ(Login("ghost", "").Outcome, TLoginOutcome::WrongNameOrPassword);
  EXPECT_EQ(Login("keeper", "lock").Outcome, TLoginOutcome::WrongNameOrPassword);
  TLoginVerdict keeper = Login("KEEPER", "key", "127.0.0.4");
  EXPECT_TRUE(keeper.Accepted());
  EXPECT_EQ(keeper.Privileges, TPrivileges::Admin);
  EXPECT_FALSE(keeper.AccountCreated);
  EXPECT_EQ(store_.Find("keeper")->LastAddress, "127.0.0.4");
  EXPECT_FALSE(store_.Find("stranger"));
  EXPECT_EQ(hasher_.Hashes, 1);  // the dummy that refusals are checked against; no account
}

TEST_F(LoginCheckTest, BansRefuseInEveryModeBeforeAnyHashingUntilTheyExpire) {
  AddAccount("Rogue", "pw", TPrivileges::Admin);
  Ban("rogue", now_ + 60);
  Ban("127.0.5.0/24");
  for (TAuthMode mode : {TAuthMode::Open, TAuthMode::Claim, TAuthMode::Registered}) {
    check_.SetMode(mode);
    TLoginVerdict byName = Login("ROGUE", "pw");
    EXPECT_EQ(byName.Outcome, TLoginOutcome::Banned);
    EXPECT_EQ(RefusalText(byName.Outcome), "You are banned.");
    ASSERT_TRUE(byName.Ban);
    EXPECT_EQ(byName.Ban->Expires, now_ + 60);
    TLoginVerdict byRange = Login("Innocent", "pw", "127.0.5.77");
    EXPECT_EQ(byRange.Outcome, TLoginOutcome::Banned);
    EXPECT_EQ(byRange.Ban->Target.Text, "127.0.5.0/24");
  }
  EXPECT_EQ(hasher_.Calls(), 0);
  EXPECT_FALSE(store_.Find("Innocent"));  // not even recorded
  now_ += 60;
  EXPECT_TRUE(Login("rogue", "pw").Accepted());
  EXPECT_EQ(Login("rogue", "pw", "127.0.5.1").Outcome, TLoginOutcome::Banned);
}

TEST_F(LoginCheckTest, FailuresBlockTheAddressForAMinute) {
  check_.SetMode(TAuthMode::Registered);
  AddAccount("Player1", "right", TPrivileges::Player);
  AddAccount("Chief", "boss", TPrivileges::Admin);
  for (int i = 0; i < TLoginThrottle::FAILURES; ++i) {
    ASSERT_EQ(Login("player1", "wrong", "127.0.0.9").Outcome, TLoginOutcome::WrongNameOrPassword);
  }
  int callsBefore = hasher_.Calls();
  TLoginVerdict blocked = Login("player1", "right", "127.0.0.9");
  EXPECT_EQ(blocked.Outcome, TLoginOutcome::TooManyFailures);
  EXPECT_EQ(RefusalText(blocked.Outcome),
            "Too many failed logins from your address; try again in a minute.");
  EXPECT_EQ(Login("nobody", "x", "127.0.0.9").Outcome, TLoginOutcome::TooManyFailures);
  EXPECT_EQ(Login("chief", "boss", "127.0.0.9").Outcome, TLoginOutcome::TooManyFailures);
  EXPECT_EQ(hasher_.Calls(), callsBefore);                          // refused before hashing
  EXPECT_TRUE(Login("player1", "right", "127.0.0.10").Accepted());  // other addresses

  now_ += TLoginThrottle::BLOCK_SECONDS;
  EXPECT_TRUE(Login("player1", "right", "127.0.0.9").Accepted());
}

TEST_F(LoginCheckTest, BrokenFileGivesCheckFailedNamingIt) {
  test::RawDb(store_.Path()).Exec("DROP TABLE accounts");
  TLoginVerdict verdict = Login("anyone", "pw");
  EXPECT_EQ(verdict.Outcome, TLoginOutcome::CheckFailed);
  EXPECT_NE(verdict.Error.find(store_.Path()), std::string::npos) << verdict.Error;
  EXPECT_FALSE(RefusalText(verdict.Outcome).empty());
}

TEST(AuthMode, NamesRoundTrip) {
  for (TAuthMode mode : {TAuthMode::Open, TAuthMode::Claim, TAuthMode::Registered}) {
    EXPECT_EQ(ParseAuthMode(AuthModeName(mode)), mode);
  }
  EXPECT_FALSE(ParseAuthMode("Open"));
  EXPECT_FALSE(ParseAuthMode(""));
  EXPECT_EQ(RefusalText(TLoginOutcome::NameInGame), "This name is in the game already.");
  EXPECT_EQ(RefusalText(TLoginOutcome::Accepted), "");
}

}  // namespace
}  // namespace zq

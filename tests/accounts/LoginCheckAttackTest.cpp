// Attacks on the login decision, each written as the attacker runs it: guessing an Admin's
// password from the address it last logged in from, and one account's password from many
// addresses; telling known names from unknown ones by the work a refusal costs; joining an
// open server under an Admin's name; and making the server hash on demand with a password
// the attacker knows. Counts of hasher calls stand for time: no clock is read.
#include <gtest/gtest.h>

#include "tests/accounts/LoginCheckFixture.h"

namespace zq {
namespace {

class LoginCheckAttackTest : public test::LoginCheckFixture {
 protected:
  LoginCheckAttackTest() : LoginCheckFixture(TAuthMode::Registered) {}
};

TEST_F(LoginCheckAttackTest, GuessingAnAdminsPasswordFromItsLastAddressIsLimited) {
  AddAccount("Chief", "correct horse", TPrivileges::Admin, "127.0.0.9");
  for (TAuthMode mode : {TAuthMode::Registered, TAuthMode::Open}) {
    SCOPED_TRACE(std::string(AuthModeName(mode)));
    check_.SetMode(mode);
    const int verifies = hasher_.Verifies;
    int refusedUnchecked = 0;
    for (int guess = 0; guess < 40; ++guess) {
      TLoginVerdict verdict = Login("chief", "guess" + std::to_string(guess), "127.0.0.9");
      EXPECT_NE(verdict.Privileges, TPrivileges::Admin);
      refusedUnchecked += verdict.Outcome == TLoginOutcome::TooManyFailures;
    }
    // Five guesses are checked; the address then waits, the Admin's own address or not.
    EXPECT_EQ(hasher_.Verifies - verifies, TLoginThrottle::FAILURES);
    EXPECT_EQ(refusedUnchecked, 40 - TLoginThrottle::FAILURES);
    now_ += 2 * TLoginThrottle::BLOCK_SECONDS;
  }
}

TEST_F(LoginCheckAttackTest, GuessingOneAccountFromManyAddressesMakesTheAccountWait) {
  AddAccount("Chief", "correct horse", TPrivileges::Admin, "127.0.0.9");
  int verifies = hasher_.Verifies;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(Login("CHIEF", "guess", "127.0.2." + std::to_string(i)).Outcome,
              TLoginOutcome::WrongNameOrPassword);
  }
  EXPECT_EQ(hasher_.Verifies - verifies, 10);
  // The tenth failure within the minute: the account waits, even for the right password
  // from an address that never failed, and nothing more is hashed for it.
  verifies = hasher_.Verifies;
  TLoginVerdict held = Login("chief", "correct horse", "127.0.3.1");
  EXPECT_EQ(held.Outcome, TLoginOutcome::TooManyFailuresForName);
  EXPECT_EQ(RefusalText(held.Outcome),
            "Too many failed logins for this name; try again in a minute.");
  EXPECT_EQ(hasher_.Verifies, verifies);
  EXPECT_FALSE(Login("chief", "guess", "127.0.3.2").Accepted());
  EXPECT_EQ(hasher_.Verifies, verifies);
  EXPECT_EQ(store_.Find("chief")->LastAddress, "127.0.0.9");  // no login recorded

  now_ += 60;  // a minute later the owner gets in
  EXPECT_TRUE(Login("chief", "correct horse", "127.0.3.1").Accepted());
}

TEST_F(LoginCheckAttackTest, AnUnknownNameCostsOneHashAsAKnownOneDoes) {
  AddAccount("Known", "pw", TPrivileges::Player);
  AddAccount("Recorded", "", TPrivileges::Player);  // a name an open server recorded
  // A first login makes whatever the check keeps for the purpose; then each costs the same.
  Login("Known", "warm-up", "127.0.4.1");
  const std::string addresses[] = {"127.0.4.2", "127.0.4.3", "127.0.4.4"};
  const std::string names[] = {"known", "nobody", "recorded"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    const int hashes = hasher_.Hashes, verifies = hasher_.Verifies;
    TLoginVerdict verdict = Login(names[i], "wrong", addresses[i]);
    EXPECT_EQ(verdict.Outcome, TLoginOutcome::WrongNameOrPassword);
    EXPECT_EQ(hasher_.Verifies - verifies, 1);
    EXPECT_EQ(hasher_.Hashes, hashes);
  }
}

TEST_F(LoginCheckAttackTest, AnOpenServerRefusesAnAdminsNameWithoutItsPassword) {
  check_.SetMode(TAuthMode::Open);
  AddAccount("Boss", "secret", TPrivileges::Admin, "127.0.0.9");
  for (const char* password : {"", "guess"}) {
    TLoginVerdict squatter = Login("BOSS", password, "127.0.5.1");
    EXPECT_EQ(squatter.Outcome, TLoginOutcome::WrongNameOrPassword) << password;
    EXPECT_EQ(squatter.Privileges, TPrivileges::Player);
  }
  EXPECT_EQ(store_.Find("boss")->LastAddress, "127.0.0.9");
  TLoginVerdict boss = Login("boss", "secret", "127.0.5.2");
  EXPECT_TRUE(boss.Accepted());
  EXPECT_EQ(boss.Privileges, TPrivileges::Admin);
  // A Player's name is still anyone's in open mode, and checks nothing.
  AddAccount("Pal", "pal-pass", TPrivileges::Player);
  const int calls = hasher_.Calls();
  EXPECT_TRUE(Login("pal", "", "127.0.5.1").Accepted());
  EXPECT_EQ(hasher_.Calls(), calls);
}

TEST_F(LoginCheckAttackTest, LoginsWithAKnownPasswordFromOneAddressAreLimited) {
  check_.SetMode(TAuthMode::Claim);
  AddAccount("Looper", "mine", TPrivileges::Player);
  const int verifies = hasher_.Verifies;
  int accepted = 0;
  TLoginVerdict last;
  for (int i = 0; i < 100; ++i) {
    last = Login("looper", "mine", "127.0.6.1");
    accepted += last.Accepted();
  }
  // Each accepted login cost a hash; within the minute only so many are made.
  EXPECT_EQ(hasher_.Verifies - verifies, accepted);
  EXPECT_EQ(accepted, TLoginLimits::ADDRESS_LOGINS);
  EXPECT_EQ(last.Outcome, TLoginOutcome::TooManyLogins);
  EXPECT_EQ(RefusalText(last.Outcome), "Too many logins from your address; try again in a minute.");
  // Another address is not held by this one's logins, and the minute ends.
  EXPECT_TRUE(Login("looper", "mine", "127.0.6.2").Accepted());
  now_ += TLoginThrottle::BLOCK_SECONDS;
  EXPECT_TRUE(Login("looper", "mine", "127.0.6.1").Accepted());
}

}  // namespace
}  // namespace zq

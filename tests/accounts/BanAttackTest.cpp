// Attacks on names and bans in the accounts file: a name that reads as an address taken at a
// claim or a registration (and so made unbannable without a kind), a name ban and an address
// ban of the same text, names that are not UTF-8, and IPv6 bans.
#include <gtest/gtest.h>

#include <atomic>

#include "accounts/LoginCheck.h"
#include "platform/Errors.h"
#include "tests/accounts/AccountsTestSupport.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

using test::TempDir;

// Texts every ban front-end reads as an address or range, valid or not.
const char* const ADDRESS_LIKE[] = {"0.0.0.0/0",     "127.0.0.1", "1.2",   "10.0.0.0/",
                                    "2001:db8::/32", "::1",       "::",    "::ffff:1.2.3.4",
                                    "1.2.3.4/33",    "fe80::1",   "1::/0", "1.2.3.999"};

class CountingHasher : public TPasswordHasher {
 public:
  std::string Hash(std::string_view password) const override {
    ++Hashes;
    return "plain:" + std::string(password);
  }
  bool Verify(const std::string& hash, std::string_view password) const override {
    return hash == "plain:" + std::string(password);
  }
  mutable std::atomic<int> Hashes{0};
};

class BanAttackTest : public testing::Test {
 protected:
  // The reason of the ban in force on `address`; "(none)" when there is none.
  std::string ReasonFor(const std::string& address) {
    std::optional<TBan> ban = store_.Bans().FindForAddress(address, 1);
    return ban ? ban->Reason : "(none)";
  }
  TLoginVerdict Login(const std::string& name, const std::string& password) {
    return check_.Decide({name, password, "127.0.0.1", ++serial_}, 1'700'000'000);
  }

  TempDir dir_;
  TAccountStore store_{dir_ / "zqosrv.db"};
  CountingHasher hasher_;
  TLoginLimits throttle_;
  TLoginCheck check_{store_, hasher_, throttle_, TAuthMode::Claim};
  uint64_t serial_ = 0;
};

TEST_F(BanAttackTest, AClaimOfANameThatReadsAsAnAddressIsRefusedBeforeAnyHash) {
  for (const char* name : ADDRESS_LIKE) {
    const TLoginVerdict verdict = Login(name, "pw");
    EXPECT_FALSE(verdict.Accepted()) << name;
    EXPECT_EQ(RefusalText(verdict.Outcome), "This name reads as an address; choose another.")
        << name;
    EXPECT_FALSE(store_.Find(name)) << name;
  }
  EXPECT_EQ(hasher_.Hashes, 0);
  EXPECT_FALSE(
      throttle_.FailuresByAddress.Blocked("127.0.0.1", 1'700'000'000));  // no guess was made

  // A name an earlier open server recorded without a password cannot be claimed either.
  test::RawDb(dir_ / "zqosrv.db")
      .Exec("INSERT INTO accounts (name, created) VALUES ('0.0.0.0/0', 1)");
  EXPECT_FALSE(Login("0.0.0.0/0", "pw").Accepted());
  EXPECT_FALSE(store_.Find("0.0.0.0/0")->HasPassword());

  // Digits without a dot, and colons that make no address, are names.
  for (const char* name : {"1234", "dead:beef", "a.b.c.d", "1.2.3.4x"})
    EXPECT_TRUE(Login(name, "pw").Accepted()) << name;
}

TEST_F(BanAttackTest, AnOpenServerLetsSuchANamePlayWithoutRecordingIt) {
  check_.SetMode(TAuthMode::Open);
  const TLoginVerdict verdict = Login("0.0.0.0/0", "");
  EXPECT_TRUE(verdict.Accepted());
  EXPECT_FALSE(verdict.AccountCreated);
  EXPECT_EQ(verdict.Error, "");
  EXPECT_FALSE(store_.Find("0.0.0.0/0"));
}

TEST_F(BanAttackTest, NoRegistrationTakesANameThatReadsAsAnAddress) {
  for (const char* name : ADDRESS_LIKE) {
    TAccount account;
    account.Name = name;
    account.PasswordHash = "plain:pw";
    EXPECT_THROW(store_.Add(account), EConvertError) << name;
  }
  EXPECT_TRUE(store_.List().empty());
}

TEST_F(BanAttackTest, ANameBanAndAnAddressBanOfOneTextAreTwoBans) {
  TBan byName;
  byName.Target.Kind = TBanKind::Name;
  byName.Target.Text = "127.0.0.1";
  byName.Reason = "the name";
  store_.Bans().Add(byName);
  TBan byAddress = NewBan(ParseBanTarget("127.0.0.1"), "the address", std::nullopt, 5);
  store_.Bans().Add(byAddress);

  ASSERT_EQ(store_.Bans().List().size(), 2u);
  EXPECT_EQ(store_.Bans().FindForName("127.0.0.1", 10).value_or(TBan{}).Reason, "the name");
  EXPECT_EQ(ReasonFor("127.0.0.1"), "the address");
  ASSERT_TRUE(store_.Bans().Remove(byName.Target));
  EXPECT_FALSE(store_.Bans().FindForName("127.0.0.1", 10));
  EXPECT_TRUE(store_.Bans().FindForAddress("127.0.0.1", 10));
}

TEST_F(BanAttackTest, NamesAreStoredAndComparedAsTheirBytes) {
  const std::string latin = "caf\xE9";
  const std::string replaced = "caf\xEF\xBF\xBD";  // how a decoder shows `latin`
  TAccount account;
  account.Name = latin;
  ASSERT_TRUE(store_.Add(account));
  account.Name = replaced;
  ASSERT_TRUE(store_.Add(account));  // another name
  EXPECT_EQ(store_.Find("CAF\xE9")->Name, latin);
  EXPECT_EQ(store_.List().size(), 2u);

  TBan ban;
  ban.Target.Kind = TBanKind::Name;
  ban.Target.Text = latin;
  store_.Bans().Add(ban);
  EXPECT_EQ(store_.Bans().List()[0].Target.Text, latin);
  EXPECT_TRUE(store_.Bans().FindForName("Caf\xE9", 0));
  EXPECT_FALSE(store_.Bans().FindForName(replaced, 0));
  EXPECT_FALSE(store_.Bans().FindForName("caf", 0));
}

TEST_F(BanAttackTest, Ipv6AddressesAndPrefixesAreCheckedAsAddresses) {
  store_.Bans().Add(NewBan(ParseBanTarget("2001:db8::7"), "one", std::nullopt, 0));
  store_.Bans().Add(NewBan(ParseBanTarget("2001:db8:1::/48"), "prefix", std::nullopt, 0));
  EXPECT_EQ(ReasonFor("2001:db8::7"), "one");
  EXPECT_EQ(ReasonFor("2001:0DB8:0000::0007"), "one");
  EXPECT_EQ(ReasonFor("2001:db8:1:ffff::1"), "prefix");
  EXPECT_EQ(ReasonFor("2001:db8::8"), "(none)");
  EXPECT_FALSE(store_.Bans().FindForAddress("2001:db8:2::1", 1));
  EXPECT_FALSE(store_.Bans().FindForName("2001:db8::7", 1));
  EXPECT_FALSE(store_.Bans().FindForAddress("1.2.3.4", 1));

  // An IPv4 range holds an IPv4 client however its address is written; every address lies
  // in ::/0.
  store_.Bans().Add(NewBan(ParseBanTarget("198.51.100.0/24"), "v4", std::nullopt, 0));
  EXPECT_EQ(ReasonFor("::ffff:198.51.100.9"), "v4");
  store_.Bans().Add(NewBan(ParseBanTarget("::/0"), "all", std::nullopt, 0));
  EXPECT_TRUE(store_.Bans().FindForAddress("192.0.2.1", 1));
  EXPECT_TRUE(store_.Bans().FindForAddress("fe80::1", 1));
}

}  // namespace
}  // namespace zq

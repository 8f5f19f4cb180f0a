// Attacks on the bans and names of `zqosrv accounts|bans`: a range that shuts out every
// address, names that read as addresses (registered, and banned), a name that is not UTF-8
// listed and lifted, and IPv6 targets.
#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "accounts/Times.h"
#include "tests/app/AccountsCommandSupport.h"

namespace zq::test {
namespace {

class BanAttackTest : public AccountsCommandTest {};

TEST_F(BanAttackTest, AWideRangeNeedsForce) {
  for (const char* wide : {"0.0.0.0/0", "2000::/3"}) {
    Result refused = Run({"bans", "add", wide});
    EXPECT_EQ(refused.Status, 1) << wide;
    EXPECT_NE(refused.Err.find("--force"), std::string::npos) << refused.Err;
  }
  EXPECT_TRUE(TAccountStore(File()).Bans().List().empty());
  Result forced = Run({"bans", "add", "0.0.0.0/0", "--force"});
  ASSERT_EQ(forced.Status, 0) << forced.Err;
  EXPECT_TRUE(TAccountStore(File()).Bans().FindForAddress("192.0.2.1", SystemWallClock()));
  EXPECT_EQ(Run({"bans", "add", "10.0.0.0/8"}).Status, 0);  // 8 bits: no question
}

TEST_F(BanAttackTest, NamesThatReadAsAddressesAreBannedByKindAndNeverRegistered) {
  Result registered = Run({"accounts", "add", "0.0.0.0/0"}, "pw\n");
  EXPECT_EQ(registered.Status, 1);
  EXPECT_NE(registered.Err.find("cannot read as an address"), std::string::npos) << registered.Err;
  EXPECT_EQ(Run({"accounts", "add", "::1"}, "pw\n").Status, 1);

  EXPECT_EQ(Run({"bans", "add", "1.2"}).Status, 1);  // read as an address, and none
  Result byName = Run({"bans", "add", "1.2", "--kind", "name", "--reason", "dotted"});
  ASSERT_EQ(byName.Status, 0) << byName.Err;
  ASSERT_EQ(Run({"bans", "add", "0.0.0.0/0", "--kind", "name"}).Status, 0);  // no force: a name
  ASSERT_EQ(Run({"bans", "add", "198.51.100.7", "--kind", "address"}).Status, 0);
  EXPECT_EQ(Run({"bans", "add", "frank", "--kind", "address"}).Status, 1);
  EXPECT_EQ(Run({"bans", "add", "frank", "--kind", "everyone"}).Status, 1);
  {
    TAccountStore store(File());
    const int64_t now = SystemWallClock();
    EXPECT_EQ(store.Bans().FindForName("1.2", now)->Reason, "dotted");
    EXPECT_TRUE(store.Bans().FindForName("0.0.0.0/0", now));
    EXPECT_FALSE(store.Bans().FindForAddress("192.0.2.1", now));
    EXPECT_TRUE(store.Bans().FindForAddress("198.51.100.7", now));
  }
  Result listed = Run({"bans", "list"});
  EXPECT_NE(listed.Out.find("KIND"), std::string::npos) << listed.Out;

  EXPECT_EQ(Run({"bans", "remove", "1.2"}).Status, 1);
  ASSERT_EQ(Run({"bans", "remove", "1.2", "--kind", "name"}).Status, 0);
  ASSERT_EQ(Run({"bans", "remove", "0.0.0.0/0", "--kind", "name"}).Status, 0);
  EXPECT_EQ(TAccountStore(File()).Bans().List().size(), 1u);
}

TEST_F(BanAttackTest, ANameThatIsNotUtf8IsListedEscapedAndTakenBackSo) {
  {
    TAccountStore store(File());
    TAccount account;
    account.Name = "caf\xE9";
    ASSERT_TRUE(store.Add(account));
  }
  Result accounts = Run({"accounts", "list"});
  EXPECT_NE(accounts.Out.find("caf\\xE9 "), std::string::npos) << accounts.Out;
  EXPECT_EQ(accounts.Out.find("caf\xE9"), std::string::npos);
  ASSERT_EQ(Run({"accounts", "set", "caf\\xE9", "--privileges", "Admin"}).Status, 0);
  EXPECT_EQ(TAccountStore(File()).Find("caf\xE9")->Privileges, TPrivileges::Admin);

  ASSERT_EQ(Run({"bans", "add", "caf\\xE9"}).Status, 0);
  EXPECT_TRUE(TAccountStore(File()).Bans().FindForName("caf\xE9", SystemWallClock()));
  Result bans = Run({"bans", "list"});
  EXPECT_NE(bans.Out.find("caf\\xE9 "), std::string::npos) << bans.Out;
  ASSERT_EQ(Run({"bans", "remove", "caf\\xE9"}).Status, 0);
  EXPECT_TRUE(TAccountStore(File()).Bans().List().empty());
}

TEST_F(BanAttackTest, Ipv6TargetsAreAddressBans) {
  Result added = Run({"bans", "add", "2001:DB8::/32", "--for", "1h"});
  ASSERT_EQ(added.Status, 0) << added.Err;
  EXPECT_NE(added.Out.find("Banned 2001:db8::/32 for 1h"), std::string::npos) << added.Out;
  ASSERT_EQ(Run({"bans", "add", "::1"}).Status, 0);
  {
    TAccountStore store(File());
    const int64_t now = SystemWallClock();
    EXPECT_TRUE(store.Bans().FindForAddress("2001:db8:5::1", now));
    EXPECT_TRUE(store.Bans().FindForAddress("::1", now));
    EXPECT_FALSE(store.Bans().FindForName("::1", now));
  }
  ASSERT_EQ(Run({"bans", "remove", "2001:db8::/32"}).Status, 0);
  ASSERT_EQ(Run({"bans", "remove", "::1"}).Status, 0);
}

}  // namespace
}  // namespace zq::test

// Bans: what a target text means, the edges of ranges and of expiry, which ban answers when
// several apply, and a file of the first schema gaining the bans table.
#include <gtest/gtest.h>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "platform/Errors.h"
#include "tests/accounts/AccountsTestSupport.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

using test::TempDir;

TBan BanOf(const std::string& target, std::optional<int64_t> expires = std::nullopt,
           const std::string& reason = "") {
  TBan ban;
  ban.Target = ParseBanTarget(target);
  ban.Expires = expires;
  ban.Reason = reason;
  ban.Created = 100;
  return ban;
}

TEST(BanTarget, AddressesRangesAndNames) {
  TBanTarget address = ParseBanTarget("192.168.1.20");
  EXPECT_EQ(address.Kind, TBanKind::Address);
  EXPECT_EQ(address.Text, "192.168.1.20");
  EXPECT_EQ(AddressKey(address.Range.First), "00000000000000000000ffffc0a80114");
  EXPECT_EQ(address.Range.Last, address.Range.First);

  TBanTarget range = ParseBanTarget("10.1.2.3/8");  // host bits cleared
  EXPECT_EQ(range.Kind, TBanKind::Range);
  EXPECT_EQ(range.Text, "10.0.0.0/8");
  EXPECT_EQ(AddressKey(range.Range.First), "00000000000000000000ffff0a000000");
  EXPECT_EQ(AddressKey(range.Range.Last), "00000000000000000000ffff0affffff");

  TBanTarget single = ParseBanTarget("127.0.0.5/32");
  EXPECT_EQ(single.Kind, TBanKind::Address);
  EXPECT_EQ(single.Text, "127.0.0.5");

  TBanTarget all = ParseBanTarget("1.2.3.4/0");
  EXPECT_EQ(all.Text, "0.0.0.0/0");
  EXPECT_EQ(AddressKey(all.Range.First), "00000000000000000000ffff00000000");
  EXPECT_EQ(AddressKey(all.Range.Last), "00000000000000000000ffffffffffff");

  // IPv6, written as inet_ntop writes it; a mapped IPv4 address or range is the IPv4 one.
  TBanTarget six = ParseBanTarget("2001:DB8:0:0:1::FFFF/33");
  EXPECT_EQ(six.Kind, TBanKind::Range);
  EXPECT_EQ(six.Text, "2001:db8::/33");
  EXPECT_EQ(AddressKey(six.Range.Last), "20010db87fffffffffffffffffffffff");
  EXPECT_EQ(ParseBanTarget("::1/128").Text, "::1");
  EXPECT_EQ(ParseBanTarget("::1/128").Kind, TBanKind::Address);
  EXPECT_EQ(ParseBanTarget("::ffff:10.1.2.3").Text, "10.1.2.3");
  EXPECT_EQ(ParseBanTarget("::ffff:10.1.2.3/104").Text, "10.0.0.0/8");
  EXPECT_EQ(ParseBanTarget("::ffff:10.1.2.3/95").Text, "::fffe:0:0/95");  // wider: IPv6

  EXPECT_EQ(ParseBanTarget("Bob").Kind, TBanKind::Name);
  EXPECT_EQ(ParseBanTarget("1234").Kind, TBanKind::Name);  // no dot: a name
  EXPECT_EQ(ParseBanTarget("bob.smith").Kind, TBanKind::Name);
  EXPECT_EQ(ParseBanTarget("dead:beef").Kind, TBanKind::Name);  // one colon: no address
  EXPECT_EQ(ParseBanTarget("1.2.3.4/-1").Kind, TBanKind::Name);
  for (const char* bad :
       {"1.2.3.400", "1.2.3", "1.2.3.4.5", "10.0.0.0/33", "10.0.0.0/", "01.2.3.4", "1.2.3.4/8/8",
        "/8", "", " bob", "::1/129", "::1/1a", "1:2:3", ":::1", "1::2::3"}) {
    EXPECT_THROW(ParseBanTarget(bad), EConvertError) << bad;
  }
}

TEST(BanTarget, AKindReadsTheTextOneWayOnly) {
  TBanTarget name = ParseBanTarget("10.0.0.0/8", TBanReading::Name);
  EXPECT_EQ(name.Kind, TBanKind::Name);
  EXPECT_EQ(name.Text, "10.0.0.0/8");
  EXPECT_EQ(ParseBanTarget("::1", TBanReading::Name).Kind, TBanKind::Name);
  EXPECT_EQ(ParseBanTarget("1.2", TBanReading::Name).Text, "1.2");
  EXPECT_THROW(ParseBanTarget(" x", TBanReading::Name), EConvertError);  // still a name's rules
  EXPECT_EQ(ParseBanTarget("10.1.0.0/16", TBanReading::Address).Kind, TBanKind::Range);
  EXPECT_THROW(ParseBanTarget("bob", TBanReading::Address), EConvertError);
  EXPECT_EQ(ParseBanReading("name"), TBanReading::Name);
  EXPECT_EQ(ParseBanReading("address"), TBanReading::Address);
  EXPECT_EQ(ParseBanReading("range"), TBanReading::Address);
  EXPECT_FALSE(ParseBanReading("Name"));
  EXPECT_FALSE(ParseBanReading(""));
}

TEST(BanTarget, WideRangesAndTheAdminsOwnAddressNeedConfirming) {
  auto why = [](const char* target, const char* own = "") {
    return ConfirmationNeeded(ParseBanTarget(target), own);
  };
  EXPECT_EQ(why("0.0.0.0/7"), "0.0.0.0/7 has fewer than 8 prefix bits");
  EXPECT_EQ(why("10.0.0.0/8"), "");
  EXPECT_EQ(why("2000::/15"), "2000::/15 has fewer than 16 prefix bits");
  EXPECT_EQ(why("2001::/16"), "");
  EXPECT_EQ(why("::ffff:0:0/96"), "0.0.0.0/0 has fewer than 8 prefix bits");
  EXPECT_EQ(why("192.0.2.0/24", "192.0.2.9"), "192.0.2.0/24 holds your own address 192.0.2.9");
  EXPECT_EQ(why("192.0.2.9", "192.0.2.9"), "192.0.2.9 holds your own address 192.0.2.9");
  EXPECT_EQ(why("192.0.2.0/24", "::ffff:192.0.2.9"),
            "192.0.2.0/24 holds your own address ::ffff:192.0.2.9");
  EXPECT_EQ(why("192.0.2.0/24", "192.0.3.1"), "");
  EXPECT_EQ(why("2001:db8::/32", "2001:db8::1"),
            "2001:db8::/32 holds your own address 2001:db8::1");
  EXPECT_EQ(why("2001:db8::/32", "192.0.2.9"), "");
  EXPECT_EQ(why("192.0.2.0/24", "not an address"), "");
  EXPECT_EQ(ConfirmationNeeded(ParseBanTarget("0.0.0.0/0", TBanReading::Name), "127.0.0.1"), "");
}

TEST(BanList, RangeEdgesAndExpiry) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  TBanList& bans = store.Bans();
  bans.Add(BanOf("127.0.8.0/22", 5000, "flooding"));  // 127.0.8.0 .. 127.0.11.255
  EXPECT_FALSE(bans.FindForAddress("127.0.7.255", 0));
  EXPECT_TRUE(bans.FindForAddress("127.0.8.0", 0));
  EXPECT_TRUE(bans.FindForAddress("127.0.11.255", 0));
  EXPECT_FALSE(bans.FindForAddress("127.0.12.0", 0));

  std::optional<TBan> found = bans.FindForAddress("127.0.9.1", 4999);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Target.Text, "127.0.8.0/22");
  EXPECT_EQ(found->Reason, "flooding");
  EXPECT_EQ(found->Expires, 5000);
  EXPECT_FALSE(bans.FindForAddress("127.0.9.1", 5000));  // ends at its expiry
  EXPECT_TRUE(found->ActiveAt(4999));
  EXPECT_FALSE(found->ActiveAt(5000));

  EXPECT_FALSE(bans.FindForAddress("not an address", 0));
  EXPECT_FALSE(bans.FindForAddress("::1", 0));
  EXPECT_FALSE(bans.FindForAddress("::ffff:127.0.12.0", 0));
  EXPECT_TRUE(bans.FindForAddress("::ffff:127.0.11.255", 0));
  EXPECT_FALSE(bans.FindForName("127.0.9.1", 0));  // an address ban is no name ban
}

TEST(BanList, LongestOfSeveralAnswers) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  TBanList& bans = store.Bans();
  bans.Add(BanOf("127.0.0.0/8", 3000, "short"));
  bans.Add(BanOf("127.0.0.1", 9000, "long"));
  bans.Add(BanOf("127.0.0.0/16", 6000, "middle"));
  auto reasonAt = [&](const char* address, int64_t time) {
    std::optional<TBan> ban = bans.FindForAddress(address, time);
    return ban ? ban->Reason : "(none)";
  };
  EXPECT_EQ(reasonAt("127.0.0.1", 0), "long");
  EXPECT_EQ(reasonAt("127.0.0.2", 0), "middle");
  EXPECT_EQ(reasonAt("127.1.0.1", 0), "short");
  EXPECT_EQ(reasonAt("127.1.0.1", 3000), "(none)");
  EXPECT_EQ(reasonAt("127.0.0.2", 5999), "middle");
  EXPECT_EQ(reasonAt("127.0.0.2", 6000), "(none)");
  bans.Add(BanOf("127.0.0.0/8", std::nullopt, "forever"));  // replaces the short one
  EXPECT_EQ(reasonAt("127.0.0.1", 0), "forever");
  EXPECT_EQ(reasonAt("127.0.0.1", 1'000'000'000), "forever");
  EXPECT_EQ(bans.List().size(), 3u);
}

TEST(BanList, NamesWithoutRegardToCaseReplacedAndRemoved) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  TBanList& bans = store.Bans();
  bans.Add(BanOf("Mallory", 500, "first"));
  bans.Add(BanOf("127.0.0.3"));
  EXPECT_EQ(bans.FindForName("MALLORY", 0)->Reason, "first");
  EXPECT_FALSE(bans.FindForName("mallor", 0));
  bans.Add(BanOf("mallory", std::nullopt, "again"));  // same target in another case
  std::vector<TBan> all = bans.List();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].Target.Kind, TBanKind::Name);
  EXPECT_EQ(all[0].Reason, "again");
  EXPECT_FALSE(all[0].Expires);
  EXPECT_EQ(all[1].Target.Text, "127.0.0.3");
  EXPECT_EQ(all[1].Target.Kind, TBanKind::Address);

  EXPECT_TRUE(bans.Remove(ParseBanTarget("MALLORY")));
  EXPECT_FALSE(bans.Remove(ParseBanTarget("mallory")));
  EXPECT_FALSE(bans.FindForName("mallory", 0));
  EXPECT_FALSE(bans.Remove(ParseBanTarget("127.0.0.4")));
  EXPECT_TRUE(bans.Remove(ParseBanTarget("127.0.0.3/32")));
  EXPECT_TRUE(bans.List().empty());
}

TEST(BanList, ExpiredBansStayListed) {
  TempDir dir;
  TAccountStore store(dir / "a.db");
  store.Bans().Add(BanOf("old", 10));
  EXPECT_FALSE(store.Bans().FindForName("old", 10));
  ASSERT_EQ(store.Bans().List().size(), 1u);
}

// The schema as first shipped: accounts only.
const char* const FIRST_SCHEMA =
    "CREATE TABLE accounts ("
    "  name TEXT NOT NULL COLLATE NOCASE UNIQUE,"
    "  password_hash TEXT NOT NULL DEFAULT '',"
    "  privileges TEXT NOT NULL DEFAULT 'Player' CHECK (privileges IN ('Player', 'Admin')),"
    "  created INTEGER NOT NULL,"
    "  last_login INTEGER,"
    "  last_address TEXT NOT NULL DEFAULT '',"
    "  play_seconds INTEGER NOT NULL DEFAULT 0"
    ");"
    "PRAGMA user_version = 1;";

TEST(BanList, FileOfTheFirstSchemaGainsBansAndKeepsAccounts) {
  TempDir dir;
  std::string path = dir / "v1.db";
  {
    test::RawDb v1(path);
    v1.Exec("PRAGMA journal_mode = WAL");
    v1.Exec(FIRST_SCHEMA);
    v1.Exec(
        "INSERT INTO accounts (name, password_hash, privileges, created, last_login,"
        " last_address, play_seconds) VALUES ('Keeper', 'h', 'Admin', 7, 8, '127.0.0.2', 9)");
  }
  TAccountStore store(path, TAccountDb::TOpen::MustExist);
  EXPECT_EQ(test::RawDb(path).Text("PRAGMA user_version"),
            std::to_string(TAccountDb::SCHEMA_VERSION));
  std::optional<TAccount> keeper = store.Find("keeper");
  ASSERT_TRUE(keeper);
  EXPECT_EQ(keeper->Privileges, TPrivileges::Admin);
  EXPECT_EQ(keeper->LastLogin, 8);
  EXPECT_EQ(keeper->LastAddress, "127.0.0.2");
  EXPECT_EQ(keeper->PlaySeconds, 9);
  store.Bans().Add(BanOf("keeper"));
  EXPECT_TRUE(store.Bans().FindForName("Keeper", 0));
}

// The bans of the second schema: IPv4 only, addresses as numbers, one ban per text.
const char* const SECOND_SCHEMA =
    "CREATE TABLE bans ("
    "  target TEXT NOT NULL COLLATE NOCASE UNIQUE,"
    "  kind TEXT NOT NULL CHECK (kind IN ('name', 'address', 'range')),"
    "  first_address INTEGER,"
    "  last_address INTEGER,"
    "  reason TEXT NOT NULL DEFAULT '',"
    "  created INTEGER NOT NULL,"
    "  expires INTEGER"
    ");"
    "CREATE INDEX bans_by_address ON bans (first_address) WHERE kind != 'name';"
    "PRAGMA user_version = 2;";

TEST(BanList, BansOfTheSecondSchemaKeepWorking) {
  TempDir dir;
  std::string path = dir / "v2.db";
  {
    test::RawDb v2(path);
    v2.Exec("PRAGMA journal_mode = WAL");
    v2.Exec(FIRST_SCHEMA);
    v2.Exec(SECOND_SCHEMA);
    v2.Exec(
        "INSERT INTO bans VALUES ('10.0.0.0/8', 'range', 167772160, 184549375, 'tens', 7, NULL),"
        " ('192.0.2.255', 'address', 3221226239, 3221226239, 'one', 8, 99),"
        " ('255.255.255.255', 'address', 4294967295, 4294967295, 'last', 9, NULL),"
        " ('Mallory', 'name', NULL, NULL, 'griefing', 10, NULL)");
  }
  TAccountStore store(path, TAccountDb::TOpen::MustExist);
  EXPECT_EQ(test::RawDb(path).Text("PRAGMA user_version"), "3");
  TBanList& bans = store.Bans();
  EXPECT_EQ(bans.FindForAddress("10.255.255.255", 0)->Reason, "tens");
  EXPECT_FALSE(bans.FindForAddress("11.0.0.0", 0));
  EXPECT_FALSE(bans.FindForAddress("9.255.255.255", 0));
  EXPECT_EQ(bans.FindForAddress("192.0.2.255", 98)->Expires, 99);
  EXPECT_FALSE(bans.FindForAddress("192.0.2.254", 0));
  EXPECT_EQ(bans.FindForAddress("255.255.255.255", 0)->Reason, "last");
  EXPECT_EQ(bans.FindForName("mallory", 0)->Created, 10);
  std::vector<TBan> listed = bans.List();
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0].Target.Text, "Mallory");
  EXPECT_EQ(listed[1].Target.Text, "10.0.0.0/8");
  EXPECT_EQ(listed[1].Target.Range.PrefixLength, 8);
  EXPECT_EQ(listed[3].Target.Text, "255.255.255.255");
  // Lifted and replaced as new ones are.
  EXPECT_TRUE(bans.Remove(ParseBanTarget("10.0.0.0/8")));
  bans.Add(NewBan(ParseBanTarget("192.0.2.255"), "again", std::nullopt, 11));
  EXPECT_EQ(bans.List().size(), 3u);
  EXPECT_EQ(bans.FindForAddress("192.0.2.255", 1000)->Reason, "again");
}

}  // namespace
}  // namespace zq

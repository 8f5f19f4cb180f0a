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
  EXPECT_EQ(address.First, 0xC0A80114u);
  EXPECT_EQ(address.Last, 0xC0A80114u);

  TBanTarget range = ParseBanTarget("10.1.2.3/8");  // host bits cleared
  EXPECT_EQ(range.Kind, TBanKind::Range);
  EXPECT_EQ(range.Text, "10.0.0.0/8");
  EXPECT_EQ(range.First, 0x0A000000u);
  EXPECT_EQ(range.Last, 0x0AFFFFFFu);

  TBanTarget single = ParseBanTarget("127.0.0.5/32");
  EXPECT_EQ(single.Kind, TBanKind::Address);
  EXPECT_EQ(single.Text, "127.0.0.5");

  TBanTarget all = ParseBanTarget("1.2.3.4/0");
  EXPECT_EQ(all.Text, "0.0.0.0/0");
  EXPECT_EQ(all.First, 0u);
  EXPECT_EQ(all.Last, 0xFFFFFFFFu);

  EXPECT_EQ(ParseBanTarget("Bob").Kind, TBanKind::Name);
  EXPECT_EQ(ParseBanTarget("1234").Kind, TBanKind::Name);  // no dot: a name
  EXPECT_EQ(ParseBanTarget("bob.smith").Kind, TBanKind::Name);
  for (const char* bad : {"1.2.3.400", "1.2.3", "1.2.3.4.5", "10.0.0.0/33", "10.0.0.0/", "01.2.3.4",
                          "1.2.3.4/8/8", "/8", "", " bob"}) {
    EXPECT_THROW(ParseBanTarget(bad), EConvertError) << bad;
  }
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
  EXPECT_EQ(test::RawDb(path).Text("PRAGMA user_version"), "2");
  std::optional<TAccount> keeper = store.Find("keeper");
  ASSERT_TRUE(keeper);
  EXPECT_EQ(keeper->Privileges, TPrivileges::Admin);
  EXPECT_EQ(keeper->LastLogin, 8);
  EXPECT_EQ(keeper->LastAddress, "127.0.0.2");
  EXPECT_EQ(keeper->PlaySeconds, 9);
  store.Bans().Add(BanOf("keeper"));
  EXPECT_TRUE(store.Bans().FindForName("Keeper", 0));
}

}  // namespace
}  // namespace zq

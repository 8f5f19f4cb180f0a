// Attacks on the admin API's bans and names, as a hostile player or a careless request makes
// them: a player named like an address range banned from its row, a range that shuts out
// everybody or the admin itself, names that read as addresses, names that are not UTF-8 (and
// a name that looks like one's escape), and IPv6 targets.
#include <QJsonArray>
#include <algorithm>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

const std::string LATIN1_NAME = "caf\xE9";            // not UTF-8
const std::string REPLACED_NAME = "caf\xEF\xBF\xBD";  // "caf" and U+FFFD, as a decoder shows it
const std::string BACKSLASH_NAME = "caf\\xE9";        // seven characters, a backslash among them

class BanAttackTest : public AdminApiTest {
 protected:
  TAccountStore& Store() {
    if (!store_) store_ = std::make_unique<TAccountStore>(dir_.Path() + "/zqosrv.db");
    return *store_;
  }
  static QByteArray Body(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
  }
  THttpResult Ban(const QJsonObject& body) { return Send("POST", "/api/bans", Body(body)); }
  // The player list's name of the player in socket slot `socket`, as the dashboard shows it.
  QString ShownName(int socket) {
    for (const QJsonValue& p : Get("/api/players").Json()["players"].toArray())
      if (p.toObject()["socket"].toInt() == socket) return p.toObject()["name"].toString();
    return {};
  }
  bool Players(std::size_t count) {
    return WaitUntil([&] { return server_->Status().Players->size() == count; });
  }

  std::unique_ptr<TAccountStore> store_;
};

TEST_F(BanAttackTest, APlayerNamedLikeEveryAddressIsBannedByNameFromItsRow) {
  StartAdmin();
  TZQClient& attacker = Join("0.0.0.0/0");
  TZQClient& frank = Join("frank");
  ASSERT_TRUE(Players(2));
  const QString shown = ShownName(1);
  ASSERT_EQ(shown, "0.0.0.0/0");

  // The row's Ban: the shown name, as a name.
  THttpResult r = Ban({{"target", shown}, {"kind", "name"}, {"reason", "from its row"}});
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["kind"].toString(), "name");
  EXPECT_EQ(r.Json()["target"].toString(), "0.0.0.0/0");
  EXPECT_EQ(RefusalOf(attacker), "You are banned.");
  ASSERT_TRUE(Players(1));
  EXPECT_FALSE(frank.IsClosed());
  EXPECT_EQ(Join("late").Setup(), SetupState::InGame);  // connections are still let in
  EXPECT_TRUE(Store().Bans().FindForName("0.0.0.0/0", SystemWallClock()));
  EXPECT_FALSE(Store().Bans().FindForAddress("127.0.0.1", SystemWallClock()));
  TZQClient& again = Connect();
  again.RunSetup(TSetupParams{"0.0.0.0/0"}, 20000, pump_);
  EXPECT_EQ(RefusalOf(again), "You are banned.");

  // An explicit address kind takes nothing else.
  EXPECT_EQ(Ban({{"target", "frank"}, {"kind", "address"}}).Status, 400);
  EXPECT_EQ(Ban({{"target", "frank"}, {"kind", "everyone"}}).Status, 400);
  EXPECT_EQ(Ban({{"target", "frank"}, {"kind", 1}}).Status, 400);
  EXPECT_EQ(Ban({{"target", "frank"}, {"force", "yes"}}).Status, 400);
  EXPECT_FALSE(frank.IsClosed());

  // A name ban and a range ban of the same text are two bans, each lifted as its kind; the
  // range, confirmed, holds everybody.
  ASSERT_EQ(Ban({{"target", "0.0.0.0/0"}, {"force", true}}).Status, 201);
  EXPECT_EQ(RefusalOf(frank), "You are banned.");
  ASSERT_EQ(Get("/api/bans").Json()["bans"].toArray().size(), 2);
  r = Request("DELETE", "/api/bans/0.0.0.0%2F0?kind=name");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  QJsonArray left = Get("/api/bans").Json()["bans"].toArray();
  ASSERT_EQ(left.size(), 1);
  EXPECT_EQ(left[0].toObject()["kind"].toString(), "range");
  EXPECT_EQ(Request("DELETE", "/api/bans/0.0.0.0%2F0").Status, 200);  // no kind: the range
  EXPECT_TRUE(Get("/api/bans").Json()["bans"].toArray().isEmpty());
  EXPECT_EQ(Request("DELETE", "/api/bans/frank?kind=everyone").Status, 400);
}

TEST_F(BanAttackTest, ARangeThatShutsOutEverybodyOrTheAdminNeedsForce) {
  StartAdmin();
  TZQClient& frank = Join("frank");
  ASSERT_TRUE(Players(1));
  // Fewer than 8 prefix bits, or holding the address the request came from.
  for (const char* wide : {"0.0.0.0/0", "127.0.0.0/8"}) {
    THttpResult r = Ban({{"target", wide}});
    EXPECT_EQ(r.Status, 409) << wide << ": " << r.Body.toStdString();
    EXPECT_NE(r.Json()["error"].toString().indexOf("\"force\": true"), -1) << r.Body.toStdString();
    EXPECT_EQ(Ban({{"target", wide}, {"force", false}}).Status, 409) << wide;
  }
  EXPECT_TRUE(Store().Bans().List().empty());
  EXPECT_FALSE(frank.IsClosed());
  EXPECT_EQ(Ban({{"target", "10.0.0.0/8"}}).Status, 201);  // neither: no question

  // Confirmed: banned, and whoever it holds is kicked.
  THttpResult r = Ban({{"target", "127.0.0.0/8"}, {"force", true}});
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["kind"].toString(), "range");
  EXPECT_EQ(RefusalOf(frank), "You are banned.");
}

TEST_F(BanAttackTest, NamesThatReadAsAddressesCanBeBannedAndLifted) {
  StartAdmin();
  TZQClient& dotted = Join("1.2");
  ASSERT_TRUE(Players(1));
  EXPECT_EQ(Ban({{"target", "1.2"}}).Status, 400);  // without a kind, read as an address
  THttpResult r = Ban({{"target", ShownName(1)}, {"kind", "name"}});
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  EXPECT_EQ(RefusalOf(dotted), "You are banned.");
  // Nor may an account take such a name.
  r = Send("POST", "/api/accounts", Body({{"name", "10.0.0.0/8"}, {"password", "pw"}}));
  EXPECT_EQ(r.Status, 400);
  EXPECT_EQ(r.Json()["error"].toString(),
            "Invalid account name: a name cannot read as an address or range.");
  EXPECT_FALSE(Store().Find("10.0.0.0/8"));

  EXPECT_EQ(Request("DELETE", "/api/bans/1.2").Status, 400);
  r = Request("DELETE", "/api/bans/1.2?kind=name");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["unbanned"].toString(), "1.2");
  EXPECT_EQ(Join("1.2").Setup(), SetupState::InGame);
}

TEST_F(BanAttackTest, NamesThatAreNotUtf8AreShownEscapedAndReachTheirOwnBytes) {
  StartAdmin();
  std::vector<TStreamEvent> events;
  Follow(events);
  TZQClient& latin = Join(LATIN1_NAME);
  TZQClient& replaced = Join(REPLACED_NAME);
  TZQClient& backslash = Join(BACKSLASH_NAME);
  ASSERT_TRUE(Players(3));

  // Three names, three texts: the one that is not UTF-8 escaped, a backslash doubled.
  EXPECT_EQ(ShownName(1), "caf\\xE9");
  EXPECT_EQ(ShownName(2), QString::fromStdString(REPLACED_NAME));
  EXPECT_EQ(ShownName(3), "caf\\\\xE9");
  ASSERT_TRUE(WaitUntil([&] {
    return std::count_if(events.begin(), events.end(),
                         [](const TStreamEvent& e) { return e.Name == "join"; }) == 3;
  }));
  for (const TStreamEvent& e : events) {
    if (e.Name == "join" && e.Data["socket"].toInt() == 1) {
      EXPECT_EQ(e.Data["name"].toString(), "caf\\xE9");
    }
  }

  // The row's Ban bans those bytes and no other name.
  THttpResult r = Ban({{"target", ShownName(1)}, {"kind", "name"}});
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["target"].toString(), "caf\\xE9");
  EXPECT_EQ(RefusalOf(latin), "You are banned.");
  ASSERT_TRUE(Players(2));
  EXPECT_FALSE(replaced.IsClosed());
  EXPECT_FALSE(backslash.IsClosed());
  std::vector<TBan> bans = Store().Bans().List();
  ASSERT_EQ(bans.size(), 1u);
  EXPECT_EQ(bans[0].Target.Text, LATIN1_NAME);
  EXPECT_EQ(Get("/api/bans").Json()["bans"].toArray()[0].toObject()["target"].toString(),
            "caf\\xE9");

  // The backslash name is a name of its own.
  ASSERT_EQ(Ban({{"target", ShownName(3)}, {"kind", "name"}}).Status, 201);
  EXPECT_EQ(RefusalOf(backslash), "You are banned.");
  EXPECT_FALSE(replaced.IsClosed());
  EXPECT_TRUE(Store().Bans().FindForName(BACKSLASH_NAME, SystemWallClock()));

  // The accounts the open server recorded: listed as shown, reached by the shown name in the
  // path, escaped for the URL.
  QStringList names;
  for (const QJsonValue& a : Get("/api/accounts").Json()["accounts"].toArray())
    names << a.toObject()["name"].toString();
  EXPECT_TRUE(names.contains("caf\\xE9")) << names.join(",").toStdString();
  r = Send("PUT", "/api/accounts/caf%5CxE9", Body({{"privileges", "Admin"}}));
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["name"].toString(), "caf\\xE9");
  EXPECT_EQ(Store().Find(LATIN1_NAME)->Privileges, TPrivileges::Admin);
  EXPECT_EQ(Store().Find(REPLACED_NAME)->Privileges, TPrivileges::Player);
  // The raw byte in the path is the same name.
  r = Send("PUT", "/api/accounts/caf%E9", Body({{"privileges", "Player"}}));
  EXPECT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(Store().Find(LATIN1_NAME)->Privileges, TPrivileges::Player);

  r = Request("DELETE", "/api/bans/caf%5CxE9?kind=name");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["unbanned"].toString(), "caf\\xE9");
  EXPECT_FALSE(Store().Bans().FindForName(LATIN1_NAME, SystemWallClock()));
  EXPECT_TRUE(Store().Bans().FindForName(BACKSLASH_NAME, SystemWallClock()));
}

TEST_F(BanAttackTest, Ipv6AddressesAndPrefixesAreAddressBans) {
  StartAdmin();
  THttpResult r = Ban({{"target", "::2"}});
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["kind"].toString(), "address");
  r = Ban({{"target", "2001:DB8:0:0::7/32"}});
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["kind"].toString(), "range");
  EXPECT_EQ(r.Json()["target"].toString(), "2001:db8::/32");  // written as the listing writes it
  EXPECT_TRUE(Store().Bans().FindForAddress("2001:db8:ffff::1", SystemWallClock()));
  EXPECT_EQ(Ban({{"target", "2001:db8::/129"}}).Status, 400);
  EXPECT_EQ(Request("DELETE", "/api/bans/2001:db8::%2F32").Status, 200);
  EXPECT_EQ(Request("DELETE", "/api/bans/::2").Status, 200);
  EXPECT_TRUE(Store().Bans().List().empty());
}

}  // namespace
}  // namespace zq::test

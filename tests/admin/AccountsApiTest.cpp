// The admin API's accounts and bans against a running server with a real accounts file:
// changes answered once the job thread has written them, their codes, their log lines, the
// kicks they cause, and passwords that never come back out.
#include <QDateTime>
#include <QJsonArray>
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

constexpr const char* PASSWORD = "Hunter2-sEcret-9f3k";

// A plain-text "hasher" whose hashing can be held at a gate, so that a test decides when the
// job thread's write goes on.
class GatedHasher : public TPasswordHasher {
 public:
  std::string Hash(std::string_view password) const override {
    std::unique_lock lock(mutex_);
    ++entered_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !closed_; });
    return "plain:" + std::string(password);
  }
  bool Verify(const std::string& hash, std::string_view password) const override {
    return hash == "plain:" + std::string(password);
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    closed_ = false;
    changed_.notify_all();
  }
  int Entered() const {
    std::lock_guard lock(mutex_);
    return entered_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable int entered_ = 0;
  bool closed_ = false;
};

class AccountsApiTest : public AdminApiTest {
 protected:
  AccountsApiTest() { serverOptions_.Hasher = hasher_; }
  ~AccountsApiTest() override { hasher_->Open(); }  // a failed test must not hold the server

  TAccountStore& Store() {
    if (!store_) store_ = std::make_unique<TAccountStore>(dir_.Path() + "/zqosrv.db");
    return *store_;
  }
  static QByteArray Body(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
  }
  THttpResult Create(const std::string& name, const std::string& password,
                     const std::string& privileges = "Player") {
    return Send("POST", "/api/accounts",
                Body({{"name", QString::fromStdString(name)},
                      {"password", QString::fromStdString(password)},
                      {"privileges", QString::fromStdString(privileges)}}));
  }
  // A request without the token: 401, counted, and the clock moved on so that the address
  // is not blocked by the next one.
  int WithoutToken(const QByteArray& method, const std::string& path, const QByteArray& body) {
    const int status = Request(method, path, "", {}, body).Status;
    now_ += 3600;
    return status;
  }
  TZQClient& Login(const std::string& name, const std::string& password) {
    TZQClient& c = Connect();
    TSetupParams params;
    params.Name = name;
    params.Password = password;
    c.RunSetup(params, 20000, pump_);
    return c;
  }
  // The entry of `list` whose `key` is `value`, into `out`.
  static bool Named(const QJsonArray& list, const QString& key, const QString& value,
                    QJsonObject& out) {
    for (const QJsonValue& v : list) {
      if (v.toObject()[key].toString() != value) continue;
      out = v.toObject();
      return true;
    }
    return false;
  }

  std::shared_ptr<GatedHasher> hasher_ = std::make_shared<GatedHasher>();
  std::unique_ptr<TAccountStore> store_;
};

TEST_F(AccountsApiTest, AnAccountIsCreatedListedChangedAndRemoved) {
  StartAdmin();
  THttpResult r = Create("Olga", PASSWORD, "admin");
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  QJsonObject a = r.Json();
  EXPECT_EQ(a["name"].toString(), "Olga");
  EXPECT_EQ(a["privileges"].toString(), "Admin");
  EXPECT_TRUE(a["password_set"].toBool());
  EXPECT_TRUE(QDateTime::fromString(a["created"].toString(), Qt::ISODateWithMs).isValid());
  EXPECT_TRUE(a["last_login"].isNull());
  EXPECT_TRUE(a["last_address"].isNull());
  EXPECT_EQ(a["play_seconds"].toInt(), 0);
  EXPECT_FALSE(a["in_game"].toBool());
  EXPECT_EQ(a.keys(), (QStringList{"created", "in_game", "last_address", "last_login", "name",
                                   "password_set", "play_seconds", "privileges"}));
  // Hashed by the server's hasher (off the main thread) and written.
  EXPECT_EQ(Store().Find("olga")->PasswordHash, std::string("plain:") + PASSWORD);
  EXPECT_GE(LineIndex("Account Olga added (Admin) by the admin API (127.0.0.1)."), 0);

  ASSERT_EQ(Create("bob", "bobpw").Status, 201);
  r = Get("/api/accounts");
  ASSERT_EQ(r.Status, 200);
  QJsonArray list = r.Json()["accounts"].toArray();
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[0].toObject()["name"].toString(), "bob");  // by name, any letter case
  EXPECT_EQ(list[1].toObject()["name"].toString(), "Olga");
  EXPECT_EQ(list[1].toObject()["privileges"].toString(), "Admin");

  // Privileges alone: the password stays. PUT or POST, any letter case of the name.
  r = Send("PUT", "/api/accounts/olga", Body({{"privileges", "Player"}}));
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["name"].toString(), "Olga");
  EXPECT_EQ(r.Json()["privileges"].toString(), "Player");
  EXPECT_EQ(Store().Find("olga")->PasswordHash, std::string("plain:") + PASSWORD);
  EXPECT_GE(LineIndex("Account changed: olga (Player) by the admin API (127.0.0.1)."), 0);
  // The password alone (an empty one would keep it): the privileges stay.
  r = Send("POST", "/api/accounts/OLGA", Body({{"password", "second-pw"}, {"privileges", ""}}));
  EXPECT_EQ(r.Status, 400);  // "" is no privileges
  r = Send("POST", "/api/accounts/OLGA", Body({{"password", "second-pw"}}));
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["privileges"].toString(), "Player");
  EXPECT_EQ(Store().Find("olga")->PasswordHash, "plain:second-pw");
  EXPECT_EQ(Store().Find("olga")->Privileges, TPrivileges::Player);

  r = Request("DELETE", "/api/accounts/OLGA");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["removed"].toString(), "OLGA");
  EXPECT_FALSE(Store().Find("olga"));
  EXPECT_GE(LineIndex("Account OLGA removed by the admin API (127.0.0.1)."), 0);
  EXPECT_EQ(Get("/api/accounts").Json()["accounts"].toArray().size(), 1);

  // Gone now.
  EXPECT_EQ(Request("DELETE", "/api/accounts/olga").Status, 404);
  r = Send("PUT", "/api/accounts/olga", Body({{"password", "x"}}));
  EXPECT_EQ(r.Status, 404);
  EXPECT_EQ(r.Json()["error"].toString(), "There is no account named olga.");
  EXPECT_FALSE(Store().Find("olga"));  // a change never creates
}

TEST_F(AccountsApiTest, NamesWithSlashesAndSpacesTravelEncodedInThePath) {
  StartAdmin();
  ASSERT_EQ(Create("a/b c", "pw").Status, 201);
  THttpResult r = Send("PUT", "/api/accounts/a%2Fb%20c", Body({{"privileges", "Admin"}}));
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["name"].toString(), "a/b c");
  EXPECT_EQ(Store().Find("a/b c")->Privileges, TPrivileges::Admin);
  EXPECT_EQ(Request("DELETE", "/api/accounts/a%2Fb%20c").Status, 200);
  EXPECT_FALSE(Store().Find("a/b c"));
}

TEST_F(AccountsApiTest, BadRequestsAreRefusedWithTheirCodesAndChangeNothing) {
  StartAdmin();
  ASSERT_EQ(Create("nina", "pw").Status, 201);

  // Taken, in any letter case.
  THttpResult r = Create("NINA", "other");
  EXPECT_EQ(r.Status, 409);
  EXPECT_EQ(r.Json()["error"].toString(), "An account named NINA exists already.");
  EXPECT_EQ(Store().Find("nina")->PasswordHash, "plain:pw");

  const std::vector<std::pair<QByteArray, std::string>> bad = {
      {"{\"name\":\"x\",\"password\":", "the body must be a JSON object"},
      {"", "the body must be a JSON object"},
      {"[\"x\"]", "the body must be a JSON object"},
      {"{\"name\":\"x\",\"password\":\"pw\",\"admin\":true}", "unknown field: admin"},
      {"{\"password\":\"pw\"}", "name is required"},
      {"{\"name\":\"x\"}", "password is required"},
      {"{\"name\":\"x\",\"password\":\"\"}", "password is required"},
      {"{\"name\":\"x\",\"password\":7}", "password must be a string"},
      {"{\"name\":\"x\",\"password\":\"pw\",\"privileges\":\"root\"}",
       "privileges must be \"Player\" or \"Admin\""},
      {"{\"name\":\" x\",\"password\":\"pw\"}", ""},
      {"{\"name\":\"x\\u0001\",\"password\":\"pw\"}", ""},
      {"{\"name\":\"" + QByteArray(48, 'n') + "\",\"password\":\"pw\"}", ""},
  };
  for (const auto& [body, error] : bad) {
    r = Send("POST", "/api/accounts", body);
    EXPECT_EQ(r.Status, 400) << body.toStdString();
    if (!error.empty()) {
      EXPECT_EQ(r.Json()["error"].toString().toStdString(), error);
    }
    EXPECT_FALSE(r.Json()["error"].toString().isEmpty()) << body.toStdString();
  }
  r = Send("PUT", "/api/accounts/nina", "{}");
  EXPECT_EQ(r.Status, 400);
  EXPECT_EQ(r.Json()["error"].toString(), "nothing to change: give a password or privileges");
  EXPECT_EQ(Send("PUT", "/api/accounts/nina", "{\"name\":\"other\"}").Status, 400);
  EXPECT_EQ(Request("PATCH", "/api/accounts/nina").Status, 405);
  EXPECT_EQ(Get("/api/accounts").Json()["accounts"].toArray().size(), 1);
  EXPECT_EQ(Store().Find("nina")->PasswordHash, "plain:pw");

  // Without the token nothing is read or changed, whatever the route.
  const std::vector<std::tuple<QByteArray, std::string, QByteArray>> routes = {
      {"GET", "/api/accounts", {}},
      {"POST", "/api/accounts", "{\"name\":\"eve\",\"password\":\"pw\"}"},
      {"PUT", "/api/accounts/nina", "{\"privileges\":\"Admin\"}"},
      {"POST", "/api/accounts/nina", "{\"privileges\":\"Admin\"}"},
      {"DELETE", "/api/accounts/nina", {}},
      {"GET", "/api/bans", {}},
      {"POST", "/api/bans", "{\"target\":\"nina\"}"},
      {"DELETE", "/api/bans/nina", {}},
  };
  for (const auto& [method, path, body] : routes)
    EXPECT_EQ(WithoutToken(method, path, body), 401) << method.toStdString() << " " << path;
  EXPECT_GE(LineIndex("Admin API: no token from 127.0.0.1 (DELETE /api/accounts/nina)."), 0);
  EXPECT_GE(LineIndex("Admin API: no token from 127.0.0.1 (PUT /api/accounts/nina)."), 0);
  EXPECT_FALSE(Store().Find("eve"));
  EXPECT_EQ(Store().Find("nina")->Privileges, TPrivileges::Player);
  EXPECT_TRUE(Store().Bans().List().empty());

  // Once the server has stopped there is no accounts file to work on.
  server_->Shutdown();
  EXPECT_EQ(Get("/api/accounts").Status, 503);
  EXPECT_EQ(Create("zoe", "pw").Status, 503);
  EXPECT_EQ(Request("DELETE", "/api/accounts/nina").Status, 503);
  EXPECT_EQ(Get("/api/bans").Status, 503);
  EXPECT_EQ(Send("POST", "/api/bans", "{\"target\":\"nina\"}").Status, 503);
}

TEST_F(AccountsApiTest, PlayersShowTheirAccountsPrivileges) {
  settings_.Auth = TAuthMode::Registered;
  StartAdmin();
  ASSERT_EQ(Create("olga", PASSWORD, "Admin").Status, 201);
  ASSERT_EQ(Create("bob", "bobpw").Status, 201);
  // The passwords given are the ones the logins are checked against.
  TZQClient& wrong = Login("bob", "not-it");
  EXPECT_NE(wrong.Setup(), SetupState::InGame);
  ASSERT_EQ(Login("olga", PASSWORD).Setup(), SetupState::InGame);
  ASSERT_EQ(Login("bob", "bobpw").Setup(), SetupState::InGame);
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));

  QJsonArray players = Get("/api/players").Json()["players"].toArray();
  QJsonObject olga, bob;
  ASSERT_TRUE(Named(players, "name", "olga", olga));
  ASSERT_TRUE(Named(players, "name", "bob", bob));
  EXPECT_EQ(olga["privileges"].toString(), "Admin");
  EXPECT_TRUE(olga["account"].toBool());
  EXPECT_EQ(bob["privileges"].toString(), "Player");
  EXPECT_TRUE(bob["account"].toBool());
  QJsonObject listed;
  ASSERT_TRUE(Named(Get("/api/accounts").Json()["accounts"].toArray(), "name", "olga", listed));
  EXPECT_TRUE(listed["in_game"].toBool());
  EXPECT_EQ(listed["last_address"].toString(), "127.0.0.1");
  EXPECT_FALSE(listed["last_login"].isNull());

  ASSERT_NE(server_->Running()->Connections().FindPlayer("olga"), nullptr);
  EXPECT_TRUE(server_->Running()->Connections().FindPlayer("olga")->Admin);

  // Admin taken away through the API: gone for the player in the game at once.
  ASSERT_EQ(Send("PUT", "/api/accounts/olga", Body({{"privileges", "Player"}})).Status, 200);
  ASSERT_NE(server_->Running()->Connections().FindPlayer("olga"), nullptr);
  EXPECT_FALSE(server_->Running()->Connections().FindPlayer("olga")->Admin);
  ASSERT_TRUE(Named(Get("/api/players").Json()["players"].toArray(), "name", "olga", olga));
  EXPECT_EQ(olga["privileges"].toString(), "Player");

  // A player whose account went from the file behind the server's back, as the window
  // shows one: a Player without an account.
  ASSERT_TRUE(Store().Remove("bob"));
  ASSERT_TRUE(Named(Get("/api/players").Json()["players"].toArray(), "name", "bob", bob));
  EXPECT_EQ(bob["privileges"].toString(), "Player");
  EXPECT_FALSE(bob["account"].toBool());
}

TEST_F(AccountsApiTest, RemovingAnAccountKicksItsPlayer) {
  StartAdmin();  // open: the name is recorded as an account at the login
  TZQClient& kate = Join("kate");
  TZQClient& other = Join("other");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));
  ASSERT_TRUE(Store().Find("kate"));
  THttpResult r = Request("DELETE", "/api/accounts/KATE");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(RefusalOf(kate), "You were kicked by an admin.");
  EXPECT_GE(LineIndex("Account KATE removed by the admin API (127.0.0.1)."), 0);
  EXPECT_GE(LineIndex("Client 127.0.0.1 dropped due to removal of its account."), 0);
  EXPECT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_FALSE(other.IsClosed());
}

TEST_F(AccountsApiTest, ABanKicksWhomItAppliesToIsListedAndIsLifted) {
  StartAdmin();
  TZQClient& mallory = Join("mallory");
  TZQClient& frank = Join("frank");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));

  THttpResult r = Send("POST", "/api/bans",
                       Body({{"target", "Mallory"}, {"duration", 3600}, {"reason", "griefing"}}));
  ASSERT_EQ(r.Status, 201) << r.Body.toStdString();
  QJsonObject ban = r.Json();
  EXPECT_EQ(ban["target"].toString(), "Mallory");
  EXPECT_EQ(ban["kind"].toString(), "name");
  EXPECT_EQ(ban["reason"].toString(), "griefing");
  EXPECT_TRUE(ban["active"].toBool());
  const QDateTime created = QDateTime::fromString(ban["created"].toString(), Qt::ISODateWithMs);
  const QDateTime expires = QDateTime::fromString(ban["expires"].toString(), Qt::ISODateWithMs);
  EXPECT_EQ(created.secsTo(expires), 3600);
  EXPECT_EQ(RefusalOf(mallory), "You are banned.");
  EXPECT_GE(LineIndex("Ban on Mallory added by the admin API (127.0.0.1)."), 0);
  EXPECT_GE(LineIndex("Client 127.0.0.1 dropped due to ban."), 0);
  EXPECT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_FALSE(frank.IsClosed());
  EXPECT_EQ(RefusalOf(Login("MALLORY", "pw")), "You are banned.");

  // Ranges away from the loopback, for good: the slash may come encoded or not.
  r = Send("POST", "/api/bans", Body({{"target", "10.1.2.0/24"}}));
  ASSERT_EQ(r.Status, 201);
  EXPECT_EQ(r.Json()["kind"].toString(), "range");
  EXPECT_TRUE(r.Json()["expires"].isNull());
  EXPECT_EQ(r.Json()["reason"].toString(), "");
  ASSERT_EQ(Send("POST", "/api/bans", Body({{"target", "10.9.0.0/16"}})).Status, 201);
  ASSERT_EQ(Send("POST", "/api/bans", Body({{"target", "192.0.2.7"}})).Status, 201);
  QJsonArray bans = Get("/api/bans").Json()["bans"].toArray();
  ASSERT_EQ(bans.size(), 4);
  QJsonObject listed;
  ASSERT_TRUE(Named(bans, "target", "Mallory", listed));
  EXPECT_EQ(listed["reason"].toString(), "griefing");
  ASSERT_TRUE(Named(bans, "target", "192.0.2.7", listed));
  EXPECT_EQ(listed["kind"].toString(), "address");
  EXPECT_FALSE(frank.IsClosed());

  r = Request("DELETE", "/api/bans/10.1.2.0%2F24");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.Json()["unbanned"].toString(), "10.1.2.0/24");
  EXPECT_EQ(Request("DELETE", "/api/bans/10.9.0.0/16").Status, 200);
  EXPECT_EQ(Request("DELETE", "/api/bans/10.9.0.0/16").Status, 404);
  r = Request("DELETE", "/api/bans/mallory");
  ASSERT_EQ(r.Status, 200);
  EXPECT_GE(LineIndex("Ban on mallory lifted by the admin API (127.0.0.1)."), 0);
  EXPECT_EQ(Get("/api/bans").Json()["bans"].toArray().size(), 1);
  EXPECT_EQ(Login("mallory", "pw").Setup(), SetupState::InGame);

  // What is not a ban.
  const std::vector<QByteArray> bad = {
      "{\"target\":\"300.1.2.3\"}",
      "{\"target\":\"10.0.0.0/33\"}",
      "{\"target\":\"\"}",
      "{\"duration\":60}",
      "{\"target\":\"x\",\"duration\":\"7d\"}",
      "{\"target\":\"x\",\"duration\":0}",
      "{\"target\":\"x\",\"duration\":1.5}",
      "{\"target\":\"x\",\"duration\":" + QByteArray::number(MAX_DURATION_SECONDS + 1) + "}",
      "{\"target\":\"x\",\"until\":60}",
      "not json",
  };
  for (const QByteArray& body : bad)
    EXPECT_EQ(Send("POST", "/api/bans", body).Status, 400) << body.toStdString();
  EXPECT_EQ(Request("DELETE", "/api/bans/1.2.3.4.5").Status, 400);
  EXPECT_EQ(Get("/api/bans").Json()["bans"].toArray().size(), 1);
}

TEST_F(AccountsApiTest, PasswordsNeverComeBackInAnswersTheLogOrTheEvents) {
  settings_.Auth = TAuthMode::Registered;
  StartAdmin();
  std::vector<TStreamEvent> events;
  Follow(events);
  std::vector<THttpResult> answers;
  answers.push_back(Create("olga", PASSWORD, "Admin"));
  answers.push_back(Create("olga", PASSWORD));  // 409
  answers.push_back(Send("POST", "/api/accounts",
                         Body({{"name", "x"}, {"password", PASSWORD}, {"privileges", "root"}})));
  answers.push_back(Send("POST", "/api/accounts", QByteArray("{\"password\":\"") + PASSWORD));
  answers.push_back(Send("PUT", "/api/accounts/olga", Body({{"password", PASSWORD}})));
  answers.push_back(Send("PUT", "/api/accounts/nobody", Body({{"password", PASSWORD}})));
  answers.push_back(Get("/api/accounts"));
  ASSERT_EQ(Login("olga", PASSWORD).Setup(), SetupState::InGame);
  answers.push_back(Get("/api/players"));
  EXPECT_EQ(answers[0].Status, 201);
  EXPECT_EQ(answers[1].Status, 409);
  EXPECT_EQ(answers[4].Status, 200);
  EXPECT_EQ(answers[5].Status, 404);
  ASSERT_TRUE(WaitUntil([&] {
    return std::any_of(events.begin(), events.end(),
                       [](const auto& e) { return e.Name == "join"; });
  }));

  for (const THttpResult& a : answers) {
    EXPECT_FALSE(a.Body.contains(PASSWORD)) << a.Body.toStdString();
    EXPECT_FALSE(a.Body.contains("plain:")) << a.Body.toStdString();  // nor the hash
  }
  for (const std::string& line : view_.lines) EXPECT_EQ(line.find(PASSWORD), std::string::npos);
  for (const TStreamEvent& e : events)
    EXPECT_FALSE(QJsonDocument(e.Data).toJson().contains(PASSWORD));
}

TEST_F(AccountsApiTest, TheAnswerWaitsForTheWriteWithoutHoldingUpTheServer) {
  StartAdmin();
  hasher_->Close();
  std::unique_ptr<QNetworkReply> create =
      Begin("POST", "/api/accounts", Body({{"name", "nina"}, {"password", "pw"}}));
  ASSERT_TRUE(WaitUntil([&] { return hasher_->Entered() == 1; }));
  // The hash is held on the job thread: the API and the game go on meanwhile.
  EXPECT_EQ(Get("/api/status").Status, 200);
  EXPECT_EQ(Join("walker").Setup(), SetupState::InGame);
  EXPECT_FALSE(create->isFinished());
  EXPECT_FALSE(Store().Find("nina"));
  hasher_->Open();
  THttpResult r = Finish(*create);
  EXPECT_EQ(r.Status, 201);
  EXPECT_EQ(r.Json()["name"].toString(), "nina");
  EXPECT_EQ(admin_->Waiting(), 0u);
  EXPECT_EQ(r.Header("cache-control"), "no-store");
  EXPECT_EQ(r.Header("x-content-type-options"), "nosniff");
}

TEST_F(AccountsApiTest, AClientThatLeavesBeforeTheAnswerIsForgottenSafely) {
  StartAdmin();
  hasher_->Close();
  std::unique_ptr<QNetworkReply> gone =
      Begin("POST", "/api/accounts", Body({{"name", "nina"}, {"password", "pw"}}));
  ASSERT_TRUE(WaitUntil([&] { return hasher_->Entered() == 1; }));
  EXPECT_EQ(admin_->Waiting(), 1u);
  gone->abort();
  gone.reset();
  // Forgotten when the connection closes: the answer made later has nowhere to go.
  ASSERT_TRUE(WaitUntil([&] { return admin_->Waiting() == 0; }));
  hasher_->Open();
  ASSERT_TRUE(WaitUntil([&] {
    return LineIndex(
               "Account nina added (Player) by the admin API "
               "(127.0.0.1).") >= 0;
  }));
  // The server goes on, and the change was made.
  EXPECT_EQ(Get("/api/accounts").Json()["accounts"].toArray().size(), 1);
  EXPECT_EQ(Create("nina", "pw").Status, 409);
}

TEST_F(AccountsApiTest, AChangeCutOffByAShutdownIsAnswered) {
  StartAdmin();
  hasher_->Close();
  std::unique_ptr<QNetworkReply> create =
      Begin("POST", "/api/accounts", Body({{"name", "nina"}, {"password", "pw"}}));
  ASSERT_TRUE(WaitUntil([&] { return hasher_->Entered() == 1; }));
  // The write finishes during the shutdown; its answer step is dropped with the accounts.
  hasher_->Open();
  server_->Shutdown();
  THttpResult r = Finish(*create);
  EXPECT_EQ(r.Status, 503);
  EXPECT_NE(r.Json()["error"].toString().indexOf("may or may not"), -1);
}

}  // namespace
}  // namespace zq::test

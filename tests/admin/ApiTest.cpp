// The admin API's documents and actions against a running server with loopback clients:
// status, players, kick, pause and resume, shutdown.
#include <QDateTime>
#include <QJsonArray>

#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

TEST_F(AdminApiTest, StatusTellsTheServersState) {
  settings_.ServerName = "Test World";
  settings_.MaxClients = 7;
  StartAdmin();
  Join("alice");
  Connect();  // connected, not in the game
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  THttpResult r = Get("/api/status");
  ASSERT_EQ(r.Status, 200);
  EXPECT_EQ(r.Header("content-type"), "application/json");
  EXPECT_EQ(r.Header("cache-control"), "no-store");
  const QJsonObject s = r.Json();
  EXPECT_EQ(s["version"].toString(), "0.1.1");
  EXPECT_EQ(s["server_name"].toString(), "Test World");
  EXPECT_TRUE(s["running"].toBool());
  EXPECT_FALSE(s["paused"].toBool());
  EXPECT_EQ(s["connections"].toInt(), 2);
  EXPECT_EQ(s["players"].toInt(), 1);
  EXPECT_EQ(s["max_clients"].toInt(), 7);
  EXPECT_EQ(s["tcp_port"].toInt(), server_->Status().ListeningPort);
  EXPECT_GE(s["uptime_seconds"].toDouble(), 0);
  EXPECT_LT(s["uptime_seconds"].toDouble(), 600);
  EXPECT_TRUE(s["messages_in_per_second"].isDouble());
  EXPECT_TRUE(s["messages_out_per_second"].isDouble());
  EXPECT_EQ(s["map"].toObject()["tiles_per_pixel"].toInt(), 4);
  EXPECT_EQ(s["map"].toObject()["pixels"].toInt(), 768);
}

TEST_F(AdminApiTest, PlayersListsEveryoneInTheGameWithConnectionAndPing) {
  StartAdmin();
  const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
  TZQClient& alice = Join("alice");
  TZQClient& bob = Join("bob");
  Connect();  // not in the game: not listed
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));
  QJsonArray players = Get("/api/players").Json()["players"].toArray();
  ASSERT_EQ(players.size(), 2);
  QJsonObject a = players[0].toObject();
  const QJsonObject b = players[1].toObject();
  EXPECT_EQ(a["name"].toString(), "alice");
  EXPECT_EQ(b["name"].toString(), "bob");
  EXPECT_EQ(a["guid"].toInteger(), alice.Guid());
  EXPECT_EQ(b["guid"].toInteger(), bob.Guid());
  EXPECT_EQ(a["socket"].toInt(), 1);
  EXPECT_EQ(b["socket"].toInt(), 2);
  EXPECT_EQ(a["address"].toString(), "127.0.0.1");
  EXPECT_GT(a["port"].toInt(), 0);
  EXPECT_EQ(a["x"].toInt(), 1560);
  EXPECT_EQ(a["y"].toInt(), 1921);
  EXPECT_EQ(a["privileges"].toString(), "Player");
  EXPECT_TRUE(a["ping_ms"].isNull());  // no beat answered yet
  const QDateTime since = QDateTime::fromString(a["connected_since"].toString(), Qt::ISODateWithMs);
  EXPECT_TRUE(since.isValid()) << a["connected_since"].toString().toStdString();
  EXPECT_GE(since, before);
  EXPECT_LE(since, QDateTime::currentDateTimeUtc().addSecs(1));

  // After a heartbeat cycle answered, the ping is known.
  server_->Running()->Connections().OnBeatTimer();
  ASSERT_TRUE(
      WaitUntil([&] { return server_->Running()->Sockets()[1].HeartbeatRecord.RoundTripKnown; }));
  a = Get("/api/players").Json()["players"].toArray()[0].toObject();
  EXPECT_TRUE(a["ping_ms"].isDouble());
  EXPECT_GE(a["ping_ms"].toInt(), 0);
}

TEST_F(AdminApiTest, KickClosesThePlayersConnectionAndSaysWhoKicked) {
  StartAdmin();
  TZQClient& alice = Join("alice");
  TZQClient& bob = Join("bob");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));

  THttpResult r = Post("/api/players/" + std::to_string(bob.Guid()) + "/kick");
  ASSERT_EQ(r.Status, 200);
  EXPECT_EQ(r.Json()["kicked"].toInteger(), bob.Guid());
  EXPECT_EQ(r.Json()["name"].toString(), "bob");
  EXPECT_EQ(r.Json()["socket"].toInt(), 2);
  EXPECT_TRUE(WaitUntil([&] { return bob.IsClosed(); }));
  EXPECT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_FALSE(alice.IsClosed());
  // The disconnect line first, then who kicked.
  const int kicked = LineIndex("Client 127.0.0.1 kicked by the admin API (127.0.0.1).");
  ASSERT_GE(kicked, 0);
  EXPECT_NE(view_.lines[static_cast<std::size_t>(kicked) - 1].find("Disconnected 127.0.0.1:"),
            std::string::npos);

  // A GUID nobody holds (bob's, now), none, or no number.
  EXPECT_EQ(Post("/api/players/" + std::to_string(bob.Guid()) + "/kick").Status, 404);
  EXPECT_EQ(Post("/api/players/0/kick").Status, 400);
  EXPECT_EQ(Post("/api/players/abc/kick").Status, 404);
  EXPECT_EQ(Get("/api/players/1/kick").Status, 405);  // POST only
  EXPECT_FALSE(alice.IsClosed());
  EXPECT_EQ(ParseMetrics(Get("/metrics", "").Body.toStdString())
                .Value("zqosrv_clients_dropped_total{reason=\"kick\"}"),
            1);
}

TEST_F(AdminApiTest, PauseRefusesNewClientsUntilResumed) {
  StartAdmin();
  TZQClient& inside = Join("alice");
  THttpResult r = Post("/api/pause");
  ASSERT_EQ(r.Status, 200);
  EXPECT_TRUE(r.Json()["paused"].toBool());
  EXPECT_TRUE(Get("/api/status").Json()["paused"].toBool());
  EXPECT_GE(LineIndex("Server paused."), 0);

  TZQClient& late = Connect();
  ASSERT_TRUE(late.Refused());
  bool sawText = false;
  for (const TReceived& m : late.Inbox())
    if (const auto* full = m.As<msg::ServerFull>()) sawText = full->Text == "Server is paused.";
  EXPECT_TRUE(sawText);
  EXPECT_TRUE(WaitUntil([&] { return late.IsClosed(); }));
  EXPECT_FALSE(inside.IsClosed());  // those inside stay

  EXPECT_FALSE(Post("/api/resume").Json()["paused"].toBool());
  EXPECT_GE(LineIndex("Server resumed."), 0);
  EXPECT_TRUE(Connect().Greeted());
  TMetrics m = ParseMetrics(Get("/metrics", "").Body.toStdString());
  EXPECT_EQ(m.Value("zqosrv_connections_refused_total{reason=\"paused\"}"), 1);
  EXPECT_EQ(m.Value("zqosrv_paused"), 0);
}

TEST_F(AdminApiTest, ShutdownAnswersFirstAndThenAsksTheFrontEnd) {
  StartAdmin();
  THttpResult r = Post("/api/shutdown");
  ASSERT_EQ(r.Status, 200);
  EXPECT_TRUE(r.Json()["shutting_down"].toBool());
  EXPECT_TRUE(WaitUntil([&] { return shutdowns_ == 1; }));
  EXPECT_GE(LineIndex("Shutdown requested by the admin API (127.0.0.1)."), 0);

  // Once the server has stopped the API still answers, and says so.
  server_->Shutdown();
  const QJsonObject s = Get("/api/status").Json();
  EXPECT_FALSE(s["running"].toBool());
  EXPECT_EQ(Post("/api/pause").Status, 409);
  EXPECT_TRUE(Get("/api/players").Json()["players"].toArray().isEmpty());
  EXPECT_EQ(ParseMetrics(Get("/metrics", "").Body.toStdString())
                .Samples.count("zqosrv_start_time_seconds"),
            0u);  // nothing runs: Prometheus's own `up` stays 1, the start time goes
}

}  // namespace
}  // namespace zq::test

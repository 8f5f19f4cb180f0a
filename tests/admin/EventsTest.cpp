// /api/events: joins, speech, kicks, departures and log lines arrive in the order they
// happened, with rising ids; a reader catches up from Last-Event-ID; one that does not read
// is closed once its buffer is full, while those that read keep up.
#include <unistd.h>

#include <QNetworkProxy>
#include <QNetworkRequest>
#include <chrono>

#include "server/admin/EventStream.h"
#include "tests/admin/AdminTestSupport.h"
#include "tests/admin/RawHttp.h"

namespace zq::test {
namespace {

// Index of the first event named `name` whose data has `field` == `value` (text), or -1.
int Find(const std::vector<TStreamEvent>& events, const std::string& name,
         const std::string& field = {}, const std::string& value = {}) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].Name != name) continue;
    if (field.empty()) return static_cast<int>(i);
    const QJsonValue v = events[i].Data[QString::fromStdString(field)];
    const std::string text =
        v.isString() ? v.toString().toStdString() : std::to_string(v.toInteger());
    if (text.find(value) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

TEST_F(AdminApiTest, EventsArriveInTheOrderTheyHappened) {
  StartAdmin();
  std::vector<TStreamEvent> events;
  Follow(events);
  // The history comes first: the start's log lines, since the admin server was there.
  ASSERT_TRUE(
      WaitUntil([&] { return Find(events, "log", "line", "DM: DispatchManager startup.") >= 0; }));
  EXPECT_GE(Find(events, "log", "line", "Server is TCP listening on"), 0);

  TZQClient& alice = Join("alice");
  TZQClient& bob = Join("bob");
  alice.SendClientSay("hello  there");
  ASSERT_TRUE(WaitUntil([&] { return Find(events, "speech") >= 0; }));
  ASSERT_EQ(Post("/api/players/" + std::to_string(bob.Guid()) + "/kick").Status, 200);
  ASSERT_TRUE(WaitUntil([&] { return Find(events, "leave", "name", "bob") >= 0; }));

  for (std::size_t i = 1; i < events.size(); ++i) EXPECT_EQ(events[i].Id, events[i - 1].Id + 1);
  const int connected = Find(events, "log", "line", "Connected from 127.0.0.1");
  const int joinA = Find(events, "join", "name", "alice");
  const int added = Find(events, "log", "line", "SGM: Added player alice");
  const int joinB = Find(events, "join", "name", "bob");
  const int speech = Find(events, "speech");
  const int kick = Find(events, "kick");
  const int kickLine = Find(events, "log", "line", "kicked by the admin API (127.0.0.1).");
  const int leave = Find(events, "leave", "name", "bob");
  EXPECT_LT(connected, joinA);
  EXPECT_LT(joinA, added);
  EXPECT_LT(added, joinB);
  EXPECT_LT(joinB, speech);
  EXPECT_LT(speech, kickLine);
  EXPECT_LT(kickLine, kick);
  EXPECT_LT(kick, leave);

  const QJsonObject& a = events[static_cast<std::size_t>(joinA)].Data;
  EXPECT_EQ(a["guid"].toInteger(), alice.Guid());
  EXPECT_EQ(a["socket"].toInt(), 1);
  EXPECT_EQ(a["x"].toInt(), 1560);
  EXPECT_EQ(a["y"].toInt(), 1921);
  const QJsonObject& s = events[static_cast<std::size_t>(speech)].Data;
  EXPECT_EQ(s["name"].toString(), "alice");
  EXPECT_EQ(s["text"].toString(), "\"hello there\"");  // as the game cleaned it
  const QJsonObject& k = events[static_cast<std::size_t>(kick)].Data;
  EXPECT_EQ(k["guid"].toInteger(), bob.Guid());
  EXPECT_EQ(k["name"].toString(), "bob");
  EXPECT_EQ(k["address"].toString(), "127.0.0.1");
  EXPECT_EQ(k["by"].toString(), "the admin API (127.0.0.1)");

  // A reader that comes back with the last id it saw gets only what came after it.
  std::vector<TStreamEvent> resumed;
  Follow(resumed, std::to_string(events[static_cast<std::size_t>(speech)].Id));
  ASSERT_TRUE(WaitUntil([&] { return resumed.size() >= events.size() - speech - 1; }));
  ASSERT_FALSE(resumed.empty());
  EXPECT_EQ(resumed.front().Id, events[static_cast<std::size_t>(speech)].Id + 1);
  EXPECT_EQ(resumed.front().Name, events[static_cast<std::size_t>(speech) + 1].Name);
  Join("carol");
  ASSERT_TRUE(WaitUntil([&] { return Find(resumed, "join", "name", "carol") >= 0; }));
  ASSERT_TRUE(WaitUntil([&] { return Find(events, "join", "name", "carol") >= 0; }));
}

TEST(EventStream, AReaderThatFallsBehindIsClosedWhileOthersKeepUp) {
  TestApp();
  std::unique_ptr<TEventStream> stream;
  THttpServer http(THttpLimits{}, [&](THttpExchange& exchange) { stream->Follow(exchange, 0); });
  stream = std::make_unique<TEventStream>(http);
  const uint16_t port = http.Listen(QHostAddress::LocalHost, 0);
  ASSERT_NE(port, 0);
  // A reader that sends its request and then reads nothing.
  TRawHttp stalled(port, "127.0.0.1", 4096);
  ASSERT_TRUE(stalled.SendAll("GET /events HTTP/1.1\r\nHost: x\r\n\r\n"));

  QNetworkAccessManager manager;
  manager.setProxy(QNetworkProxy::NoProxy);
  std::unique_ptr<QNetworkReply> reader(
      manager.get(QNetworkRequest(QUrl("http://127.0.0.1:" + QString::number(port) + "/events"))));
  QByteArray read;
  QObject::connect(reader.get(), &QNetworkReply::readyRead, [&] { read += reader->readAll(); });
  auto pumpUntil = [](const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      ::usleep(500);
    }
    return done();
  };
  ASSERT_TRUE(pumpUntil([&] { return stream->Followers() == 2; }));

  // A kilobyte an event, a few at a time, until the stalled reader is closed (the kernel's
  // buffers take some megabytes first) or 64 MB went out.
  const std::string data = "\"" + std::string(1000, 'x') + "\"";
  int published = 0;
  while (stream->Dropped() == 0 && published < 64 * 1024) {
    for (int i = 0; i < 8; ++i, ++published) stream->Publish("fill", data);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  EXPECT_EQ(stream->Dropped(), 1u);
  EXPECT_EQ(stream->Followers(), 1u);
  EXPECT_LE(stream->Unsent(), FOLLOWER_BUFFER_LIMIT);
  EXPECT_TRUE(pumpUntil([&] { return stalled.Ended(); }));
  stream->Publish("last", "{}");
  EXPECT_TRUE(pumpUntil([&] { return read.contains("event: last"); }));
  EXPECT_EQ(read.count("event: fill"), published);
  EXPECT_EQ(stream->LastId(), static_cast<uint64_t>(published) + 1);
  reader.reset();
  stream.reset();
}

}  // namespace
}  // namespace zq::test

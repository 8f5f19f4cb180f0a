// The admin API's HTTP surface under attack, each case as an attacker writes it: bodies and
// headers without end, requests never finished or dribbled, idle and surplus connections, a
// thousand connections against the game's admissions, token-less posts from a web page
// against the right token, cross-origin posts, forged forwarded addresses, long paths in
// the log, readers of the event stream that never read, and GUIDs beyond 32 bits.
#include <sys/resource.h>

#include <QJsonArray>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "server/admin/MetricsText.h"
#include "tests/admin/AdminTestSupport.h"
#include "tests/admin/RawHttp.h"

namespace zq::test {
namespace {

// Where a test sends more than the server should ever take.
constexpr std::size_t FLOOD_CAP = 32 * 1024 * 1024;

class HttpAttackTest : public AdminApiTest {
 protected:
  TRawHttp& Open(const char* from = "127.0.0.1", int receiveBuffer = 0) {
    raw_.push_back(std::make_unique<TRawHttp>(admin_->Port(), from, receiveBuffer));
    EXPECT_TRUE(raw_.back()->Connected()) << from;
    return *raw_.back();
  }
  std::string Head(const std::string& method, const std::string& path, const std::string& more = {},
                   const std::string& token = TEST_TOKEN) {
    std::string head = method + " " + path +
                       " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(admin_->Port()) + "\r\n";
    if (!token.empty()) head += "Authorization: Bearer " + token + "\r\n";
    return head + more + "\r\n";
  }
  // Sends `start`, then `more` for as long as the server takes it; true when the server
  // answered or closed before FLOOD_CAP bytes were sent.
  bool Flood(TRawHttp& c, const std::string& start, const std::string& more) {
    if (!c.SendAll(start)) return c.Ended();
    WaitUntil(
        [&] {
          for (int i = 0; i < 16 && c.SendSome(more) > 0;) ++i;
          return c.Status() != 0 || c.Ended() || c.Sent() > FLOOD_CAP;
        },
        30000);
    return c.Sent() <= FLOOD_CAP && (c.Status() != 0 || c.Ended());
  }
  // Waits for the answer (or the end) of what `c` sent.
  int Answer(TRawHttp& c, int timeoutMs = 10000) {
    WaitUntil([&] { return c.Status() != 0 || c.Ended(); }, timeoutMs);
    return c.Status();
  }
  bool EndsSoon(TRawHttp& c, int timeoutMs = 10000) {
    return WaitUntil([&] { return c.Ended(); }, timeoutMs);
  }
  std::vector<std::unique_ptr<TRawHttp>> raw_;
};

std::string Loopback(int n) {
  return "127.0.0." + std::to_string(n);
}

TEST_F(HttpAttackTest, BodiesWithoutEndAreRefusedBeforeTheyAreRead) {
  StartAdmin();
  const std::string chunk(64 * 1024, 'x');
  // 400 MB announced, token or not: refused on the announcement or within the first bytes.
  TRawHttp& announced = Open();
  EXPECT_TRUE(
      Flood(announced, Head("POST", "/api/bans", "Content-Length: 400000000\r\n", ""), chunk))
      << announced.Sent();
  EXPECT_TRUE(announced.Status() == 413 || announced.Ended()) << announced.Received();
  // No length said, chunks without end.
  TRawHttp& chunked = Open();
  const std::string oneChunk = "10000\r\n" + chunk + "\r\n";
  EXPECT_TRUE(
      Flood(chunked, Head("POST", "/api/pause", "Transfer-Encoding: chunked\r\n"), oneChunk))
      << chunked.Sent();
  EXPECT_FALSE(server_->Status().Paused);

  // At the bound: 64 KiB of body is taken, one byte more is not.
  TRawHttp& most = Open();
  ASSERT_TRUE(most.SendAll(Head("POST", "/api/pause", "Content-Length: 65536\r\n") +
                           std::string(65536, ' ')));
  EXPECT_EQ(Answer(most), 200) << most.Received().substr(0, 200);
  EXPECT_TRUE(server_->Status().Paused);
  EXPECT_EQ(Post("/api/resume").Status, 200);
  TRawHttp& over = Open();
  ASSERT_TRUE(over.SendAll(Head("POST", "/api/pause", "Content-Length: 65537\r\n") +
                           std::string(65537, ' ')));
  EXPECT_EQ(Answer(over), 413) << over.Received().substr(0, 200);
  EXPECT_FALSE(server_->Status().Paused);
}

TEST_F(HttpAttackTest, HeadersWithoutEndAreRefused) {
  StartAdmin();
  TRawHttp& endless = Open();
  EXPECT_TRUE(Flood(endless, "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: ",
                    std::string(64 * 1024, 'h')))
      << endless.Sent();
  TRawHttp& many = Open();
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += "X-Line-" + std::to_string(i) + ": 0123456789\r\n";
  EXPECT_TRUE(Flood(many, "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n", lines));

  // At the bound: a request's head (its first line, fields and blank line) of 16 KiB is
  // served, one byte more is not.
  auto head = [&](std::size_t size) {
    const std::string start = Head("GET", "/api/status", "X-Pad: ");
    std::string text = start.substr(0, start.size() - 2);  // before the blank line
    text += std::string(size - text.size() - 4, 'p') + "\r\n\r\n";
    return text;
  };
  TRawHttp& most = Open();
  ASSERT_TRUE(most.SendAll(head(16 * 1024)));
  EXPECT_EQ(Answer(most), 200) << most.Received().substr(0, 200);
  TRawHttp& over = Open();
  ASSERT_TRUE(over.SendAll(head(16 * 1024 + 1)));
  EXPECT_EQ(Answer(over), 431) << over.Received().substr(0, 200);
}

TEST_F(HttpAttackTest, RequestsNeverFinishedOrDribbledAreClosedAtTheirDeadline) {
  adminSettings_.Limits.RequestMs = 400;
  adminSettings_.Limits.IdleMs = 600;
  StartAdmin();
  // Half a request, then silence.
  TRawHttp& half = Open();
  ASSERT_TRUE(half.SendAll("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
  // A byte every 20 ms, never reaching the end of the head: each byte keeps the connection
  // busy, none finishes the request.
  TRawHttp& dribble = Open();
  ASSERT_TRUE(dribble.SendAll("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "));
  auto last = std::chrono::steady_clock::now();
  // Nothing at all.
  TRawHttp& silent = Open();
  EXPECT_TRUE(WaitUntil(
      [&] {
        if (std::chrono::steady_clock::now() - last > std::chrono::milliseconds(20)) {
          dribble.SendSome("s");
          last = std::chrono::steady_clock::now();
        }
        return half.Ended() && dribble.Ended() && silent.Ended();
      },
      20000));
  EXPECT_EQ(half.Received(), "");
  EXPECT_EQ(dribble.Status(), 0);
  EXPECT_GT(dribble.Sent(), 60u);

  // An answered request on a kept-alive connection, then idle: closed too.
  TRawHttp& idle = Open();
  ASSERT_TRUE(idle.SendAll(Head("GET", "/api/status")));
  EXPECT_EQ(Answer(idle), 200);
  EXPECT_TRUE(EndsSoon(idle));
}

TEST_F(HttpAttackTest, ConnectionCloseIsHonoured) {
  StartAdmin();
  TRawHttp& c = Open();
  ASSERT_TRUE(c.SendAll(Head("GET", "/api/status", "Connection: close\r\n")));
  EXPECT_EQ(Answer(c), 200);
  EXPECT_TRUE(EndsSoon(c));  // long before the 30 s of an idle keep-alive
  // Kept alive otherwise: two requests on one connection.
  TRawHttp& kept = Open();
  ASSERT_TRUE(kept.SendAll(Head("GET", "/api/status")));
  EXPECT_EQ(Answer(kept), 200);
  ASSERT_TRUE(kept.SendAll(Head("GET", "/api/players")));
  EXPECT_TRUE(WaitUntil([&] { return kept.Received().find("\"players\"") != std::string::npos; }));
  EXPECT_FALSE(kept.Ended());
}

TEST_F(HttpAttackTest, ConnectionsBeyondTheLimitsAreClosedAtOnce) {
  StartAdmin();
  // Eight from one address are kept; the ninth is closed without a word.
  for (int i = 0; i < 8; ++i) Open();
  TRawHttp& ninth = Open();
  EXPECT_TRUE(EndsSoon(ninth, 5000));
  EXPECT_EQ(ninth.Received(), "");
  for (std::size_t i = 0; i < 8; ++i) EXPECT_FALSE(raw_[i]->Ended()) << i;
  ASSERT_TRUE(raw_[3]->SendAll(Head("GET", "/api/status")));
  EXPECT_EQ(Answer(*raw_[3]), 200);

  // 64 at once from eight addresses; the 65th, from a ninth address, is closed.
  for (int a = 2; a <= 8; ++a)
    for (int i = 0; i < 8; ++i) Open(Loopback(a).c_str());
  // The server has taken them all once the last has been answered.
  ASSERT_TRUE(raw_.back()->SendAll(Head("GET", "/api/status")));
  EXPECT_EQ(Answer(*raw_.back()), 200);
  TRawHttp& beyond = Open("127.0.0.9");
  EXPECT_TRUE(EndsSoon(beyond, 5000));
  int ended = 0;
  for (auto& c : raw_) ended += c->Ended() ? 1 : 0;
  EXPECT_EQ(ended, 2);  // the ninth from 127.0.0.1 and the 65th

  // Once one leaves, a newcomer is let in (the server sees the close on a later turn).
  raw_[5]->Close();
  int status = 0;
  for (int attempt = 0; attempt < 50 && status == 0; ++attempt) {
    TRawHttp& late = Open("127.0.0.9");
    late.SendAll(Head("GET", "/api/status"));
    status = Answer(late, 2000);
  }
  EXPECT_EQ(status, 200);
}

// Lowers the process's soft limit of descriptors for a test and puts it back.
class TDescriptorLimit {
 public:
  explicit TDescriptorLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min(soft, saved_.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~TDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

TEST_F(HttpAttackTest, AThousandIdleConnectionsDoNotStopTheGameAdmittingPlayers) {
  StartAdmin();
  constexpr std::size_t ATTACK = 1060;
  const std::size_t before = OpenDescriptors();
  // The attacker's sockets live in this process too: room for them and the server's 64, not
  // for the server to keep one for each of the attacker's.
  TDescriptorLimit limit(before + ATTACK + 200);
  for (std::size_t i = 0; i < ATTACK; ++i) Open(Loopback(1 + static_cast<int>(i % 200)).c_str());
  // Every connection beyond the limits has been closed by the server; the rest wait.
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::size_t ended = 0;
        for (auto& c : raw_) ended += c->Ended() ? 1 : 0;
        return ended >= ATTACK - 64;
      },
      30000));
  EXPECT_LE(OpenDescriptors(), before + ATTACK + 64 + 16);
  TZQClient& player = Join("alice");
  EXPECT_EQ(player.Setup(), SetupState::InGame);
}

TEST_F(HttpAttackTest, TokenlessPostsFromAWebPageDoNotLockTheAdminOut) {
  StartAdmin();
  // What any page may send cross-origin without asking: a text/plain POST, no token. The
  // fifth blocks the address.
  for (int i = 0; i < TAdminAuth::FAILURES; ++i)
    EXPECT_EQ(Request("POST", "/api/pause", "", {{"Content-Type", "text/plain"}}, "x").Status, 401);
  EXPECT_EQ(Request("POST", "/api/pause", "", {{"Content-Type", "text/plain"}}, "x").Status, 429);
  EXPECT_EQ(Get("/api/status").Status, 200);
  EXPECT_EQ(Post("/api/pause").Status, 200);
  // Guesses from that address are still slowed.
  THttpResult guess = Get("/api/status", "wrong-token-xxxxxxxx");
  EXPECT_EQ(guess.Status, 429);
  EXPECT_EQ(guess.Header("retry-after"), "60");
}

TEST_F(HttpAttackTest, ChangesFromAnotherOriginAreRefusedEvenWithTheToken) {
  StartAdmin();
  const QByteArray self = "http://127.0.0.1:" + QByteArray::number(admin_->Port());
  for (const char* method : {"POST", "PUT", "DELETE"}) {
    THttpResult r =
        Request(method, method == std::string("POST") ? "/api/pause" : "/api/accounts/x",
                TEST_TOKEN, {{"Origin", "http://evil.example"}});
    EXPECT_EQ(r.Status, 403) << method;
  }
  EXPECT_EQ(Request("POST", "/api/pause", TEST_TOKEN, {{"Origin", "null"}}).Status, 403);
  EXPECT_EQ(Request("POST", "/api/pause", TEST_TOKEN, {{"Origin", self + ".evil.example"}}).Status,
            403);
  EXPECT_FALSE(server_->Status().Paused);
  // The page's own origin, by either scheme (a TLS proxy in front), and reads from anywhere.
  EXPECT_EQ(Request("POST", "/api/pause", TEST_TOKEN, {{"Origin", self}}).Status, 200);
  EXPECT_EQ(Request("POST", "/api/resume", TEST_TOKEN,
                    {{"Origin", "https://127.0.0.1:" + QByteArray::number(admin_->Port())}})
                .Status,
            200);
  EXPECT_EQ(Request("GET", "/api/status", TEST_TOKEN, {{"Origin", "http://evil.example"}}).Status,
            200);
}

TEST_F(HttpAttackTest, AForwardedAddressCountsOnlyFromTheNamedProxy) {
  StartAdmin();
  // Without a proxy named, a forged X-Forwarded-For dodges nothing.
  for (int i = 0; i < TAdminAuth::FAILURES; ++i)
    EXPECT_EQ(Request("GET", "/api/status", "wrong-token-xxxxxxxx",
                      {{"X-Forwarded-For", "198.51.100." + QByteArray::number(i)}})
                  .Status,
              401);
  EXPECT_EQ(
      Request("GET", "/api/status", "wrong-token-xxxxxxxx", {{"X-Forwarded-For", "198.51.100.99"}})
          .Status,
      429);
  EXPECT_GE(LineIndex("Admin API: wrong token from 127.0.0.1 (GET /api/status)."), 0);

  admin_.reset();
  server_.reset();
  adminSettings_.TrustedProxy = "127.0.0.1";
  StartAdmin();
  // Behind the proxy, each client is counted (and logged) by the address the proxy names:
  // the proxy's last entry, whatever the client put before it.
  for (int i = 0; i < TAdminAuth::FAILURES; ++i)
    EXPECT_EQ(Request("GET", "/api/status", "wrong-token-xxxxxxxx",
                      {{"X-Forwarded-For", "10.9.9.9, 198.51.100.7"}})
                  .Status,
              401);
  EXPECT_EQ(
      Request("GET", "/api/status", "wrong-token-xxxxxxxx", {{"X-Forwarded-For", "198.51.100.7"}})
          .Status,
      429);
  EXPECT_EQ(
      Request("GET", "/api/status", "wrong-token-xxxxxxxx", {{"X-Forwarded-For", "198.51.100.8"}})
          .Status,
      401);
  EXPECT_GE(LineIndex("Admin API: wrong token from 198.51.100.7 (GET /api/status)."), 0);
  EXPECT_GE(LineIndex("Admin API: 198.51.100.7 refused for 60 s after 5 wrong or missing tokens."),
            0);
  EXPECT_EQ(Request("POST", "/api/pause", TEST_TOKEN, {{"X-Forwarded-For", "198.51.100.7"}}).Status,
            200);
  EXPECT_GE(LineIndex("Server paused."), 0);
  // The proxy's own connections are many: the limit per address does not apply to it.
  for (int i = 0; i < 12; ++i) Open();
  ASSERT_TRUE(raw_.back()->SendAll(Head("GET", "/api/status")));
  EXPECT_EQ(Answer(*raw_.back()), 200);
}

TEST_F(HttpAttackTest, ARefusedLongPathIsLoggedShortAndEscaped) {
  StartAdmin();
  // As long as a request's head may be.
  const std::string path = "/api/accounts/%0A%1B" + std::string(15000, 'A') + "\xE9";
  TRawHttp& c = Open();
  ASSERT_TRUE(c.SendAll(Head("DELETE", path, {}, "")));
  EXPECT_EQ(Answer(c), 401);
  const std::vector<std::string> lines = Messages();
  auto line = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("Admin API: no token from 127.0.0.1 (DELETE /api/accounts/%0A%1BAAA") !=
           std::string::npos;
  });
  ASSERT_NE(line, lines.end());
  EXPECT_LE(line->size(), 300u);
  EXPECT_NE(line->find("AAA...)."), std::string::npos) << *line;
  EXPECT_EQ(line->find('\xE9'), std::string::npos);
}

TEST_F(HttpAttackTest, TheHistoryCountsAgainstAReadersBound) {
  StartAdmin();
  // 200 log lines of 3000 bytes: some 600 KB of history.
  for (int i = 0; i < 200; ++i)
    server_->Log("fill " + std::to_string(i) + " " + std::string(3000, 'f'));
  std::vector<TStreamEvent> events;
  Follow(events);
  server_->Log("after the history");
  ASSERT_TRUE(WaitUntil([&] {
    return std::any_of(events.begin(), events.end(), [](const TStreamEvent& e) {
      return e.Data["line"].toString().endsWith("after the history");
    });
  }));
  // What came before that line is the history: the newest of it, as much as fits the bound.
  std::size_t after = 0;
  while (!events[after].Data["line"].toString().endsWith("after the history")) ++after;
  ASSERT_GE(after, 1u);
  std::size_t history = 0;
  for (std::size_t i = 0; i < after; ++i) history += events[i].Data["line"].toString().size() + 40;
  EXPECT_LE(history, FOLLOWER_BUFFER_LIMIT);
  EXPECT_GE(history, FOLLOWER_BUFFER_LIMIT - 2 * 3100);
  EXPECT_TRUE(events[after - 1].Data["line"].toString().contains("fill 199 "));
  for (std::size_t i = 1; i <= after; ++i) EXPECT_EQ(events[i].Id, events[i - 1].Id + 1);

  // Readers that never read hold no more than the bound each.
  for (int i = 0; i < 40; ++i) {
    TRawHttp& stalled = Open(Loopback(10 + i / 8).c_str(), 4096);
    ASSERT_TRUE(stalled.SendAll(Head("GET", "/api/events")));
  }
  ASSERT_TRUE(WaitUntil([&] { return admin_->Events().Followers() == 41; }));
  for (int i = 0; i < 200; ++i)
    server_->Log("more " + std::to_string(i) + " " + std::string(3000, 'm'));
  EXPECT_LE(admin_->Events().Unsent(), 41 * FOLLOWER_BUFFER_LIMIT);
}

TEST_F(HttpAttackTest, HeadAnswersLikeGetAndUnknownRoutesOrMethodsAnswerJsonErrors) {
  StartAdmin();
  const THttpResult get = Get("/metrics", "");
  TRawHttp& head = Open();
  ASSERT_TRUE(head.SendAll(Head("HEAD", "/metrics", "Connection: close\r\n", "")));
  ASSERT_TRUE(EndsSoon(head));
  const std::string& answer = head.Received();
  EXPECT_EQ(head.Status(), 200);
  EXPECT_NE(answer.find("Content-Type: " + std::string(METRICS_CONTENT_TYPE)), std::string::npos)
      << answer;
  const std::size_t blank = answer.find("\r\n\r\n");
  ASSERT_NE(blank, std::string::npos);
  EXPECT_EQ(answer.size(), blank + 4) << "no body after the head";
  EXPECT_EQ(get.Status, 200);

  const THttpResult unknown = Get("/api/nothing-here");
  EXPECT_EQ(unknown.Status, 404);
  EXPECT_EQ(unknown.Header("content-type"), "application/json");
  EXPECT_FALSE(unknown.Json()["error"].toString().isEmpty());
  // A known path with a method it lacks: 405, naming the ones it has.
  const THttpResult wrong = Request("DELETE", "/api/status");
  EXPECT_EQ(wrong.Status, 405);
  EXPECT_EQ(wrong.Header("allow"), "GET, HEAD");
  EXPECT_EQ(wrong.Header("content-type"), "application/json");
  EXPECT_EQ(Request("PATCH", "/api/accounts").Header("allow"), "GET, HEAD, POST");
  EXPECT_EQ(Request("BREW", "/metrics").Status, 405);
}

TEST_F(HttpAttackTest, GuidsBeyond32BitsAreRefusedNotWrapped) {
  StartAdmin();
  TZQClient& alice = Join("alice");
  ASSERT_EQ(alice.Guid(), 1u);
  for (const char* guid : {"4294967297", "0", "18446744073709551617", "99999999999999999999"}) {
    THttpResult r = Post(std::string("/api/players/") + guid + "/kick");
    EXPECT_EQ(r.Status, 400) << guid;
  }
  EXPECT_EQ(Post("/api/players/4294967295/kick").Status, 404);  // the highest, held by nobody
  EXPECT_FALSE(alice.IsClosed());
  EXPECT_EQ(server_->Status().Players->size(), 1u);
}

}  // namespace
}  // namespace zq::test

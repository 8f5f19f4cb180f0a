// Who may use the admin API: the token on every request but the metrics and the page, the
// refusals logged, the per-address limit on wrong tokens, and the token file.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"
#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

TEST_F(AdminApiTest, EveryApiRouteRefusesAMissingOrWrongToken) {
  StartAdmin();
  const std::vector<std::pair<QByteArray, std::string>> routes = {
      {"GET", "/api/status"},    {"GET", "/api/players"},        {"GET", "/api/map.png"},
      {"GET", "/api/events"},    {"POST", "/api/pause"},         {"POST", "/api/resume"},
      {"POST", "/api/shutdown"}, {"POST", "/api/players/1/kick"}};
  int refused = 0;
  for (const auto& [method, path] : routes) {
    // Two refusals per route; the clock moves on so that the limit never bites here.
    for (const std::string& token : {std::string(), std::string("not-the-token-at-all")}) {
      now_ += TAdminAuth::BLOCK_SECONDS * 2;
      THttpResult r = Request(method, path, token);
      EXPECT_EQ(r.Status, 401) << method.toStdString() << " " << path;
      EXPECT_EQ(r.Header("www-authenticate"), "Bearer realm=\"zqosrv\"");
      EXPECT_EQ(r.Json()["error"].toString(), "missing or wrong token");
      ++refused;
    }
  }
  // Nothing happened: not paused, no shutdown.
  EXPECT_FALSE(server_->Status().Paused);
  EXPECT_EQ(shutdowns_, 0);
  EXPECT_EQ(CountLines("Admin API: no token from 127.0.0.1 (GET /api/status)."), 1);
  EXPECT_EQ(CountLines("Admin API: wrong token from 127.0.0.1 (POST /api/shutdown)."), 1);
  EXPECT_EQ(CountLines("Admin API: "), refused);

  // A token that only begins like the right one, or the right one in another scheme.
  now_ += TAdminAuth::BLOCK_SECONDS * 2;
  EXPECT_EQ(Get("/api/status", std::string(TEST_TOKEN).substr(0, 10)).Status, 401);
  EXPECT_EQ(Get("/api/status", std::string(TEST_TOKEN) + "x").Status, 401);
  EXPECT_EQ(
      Request("GET", "/api/status", "", {{"Authorization", QByteArray("Basic ") + TEST_TOKEN}})
          .Status,
      401);
  // The scheme's letter case does not matter.
  EXPECT_EQ(
      Request("GET", "/api/status", "", {{"Authorization", QByteArray("bearer ") + TEST_TOKEN}})
          .Status,
      200);
}

TEST_F(AdminApiTest, MetricsAndThePageNeedNoToken) {
  StartAdmin();
  EXPECT_EQ(Get("/metrics", "").Status, 200);
  THttpResult page = Get("/", "");
  EXPECT_EQ(page.Status, 200);
  EXPECT_EQ(page.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_NE(page.Body.indexOf("<title>zqosrv dashboard</title>"), -1);
  EXPECT_NE(page.Header("content-security-policy").find("default-src 'self'"), std::string::npos);
  EXPECT_EQ(Get("/app.js", "").Header("content-type"), "text/javascript; charset=utf-8");
  EXPECT_EQ(Get("/style.css", "").Status, 200);
  EXPECT_EQ(Get("/nothing-here", "").Status, 404);
  EXPECT_EQ(CountLines("Admin API: "), 0);
}

TEST_F(AdminApiTest, FiveWrongTokensBlockTheAddressForAMinuteButNeverTheRightOne) {
  StartAdmin();
  for (int i = 1; i < TAdminAuth::FAILURES; ++i)
    EXPECT_EQ(Get("/api/status", "wrong-token-xxxxxxxx").Status, 401);
  EXPECT_EQ(Get("/api/status", "").Status, 401);  // the fifth blocks
  EXPECT_EQ(CountLines("Admin API: 127.0.0.1 refused for 60 s after 5 wrong or missing tokens."),
            1);

  THttpResult blocked = Get("/api/status", "wrong-token-xxxxxxxx");
  EXPECT_EQ(blocked.Status, 429);
  EXPECT_EQ(blocked.Header("retry-after"), "60");
  EXPECT_EQ(Post("/api/pause", "").Status, 429);
  EXPECT_FALSE(server_->Status().Paused);
  // The right token goes on working.
  EXPECT_EQ(Get("/api/status").Status, 200);
  // Blocked requests are not logged one by one; the metrics count them.
  const int logged = CountLines("Admin API: ");
  EXPECT_EQ(Get("/api/status", "wrong-token-xxxxxxxx").Status, 429);
  EXPECT_EQ(CountLines("Admin API: "), logged);
  TMetrics m = ParseMetrics(Get("/metrics", "").Body.toStdString());
  EXPECT_EQ(m.Value("zqosrv_admin_unauthorized_total"), 5);
  EXPECT_EQ(m.Value("zqosrv_admin_blocked_total"), 3);

  now_ += TAdminAuth::BLOCK_SECONDS;
  EXPECT_EQ(Get("/api/status", "wrong-token-xxxxxxxx").Status, 401);
}

TEST_F(AdminApiTest, TheTokenFileIsMadePrivateOnTheFirstStartAndKeptAfterwards) {
  adminSettings_.Token.clear();
  StartAdmin();
  const std::string path = dir_.Path() + "/" + ADMIN_TOKEN_FILE;
  EXPECT_EQ(admin_->TokenPath(), path);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string token = admin_->Token();
  EXPECT_EQ(token.size(), 64u);
  EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(ReadFile(path), token + "\n");
  EXPECT_GE(LineIndex("Admin token made in " + path + " (mode 0600)."), 0);
  EXPECT_EQ(Get("/api/status", token).Status, 200);

  // The next start reads the same token, and makes a file others could read private.
  admin_.reset();
  server_.reset();
  ::chmod(path.c_str(), 0644);
  view_.lines.clear();
  StartAdmin();
  EXPECT_EQ(admin_->Token(), token);
  EXPECT_GE(LineIndex("Admin token in " + path + " (mode 0600)."), 0);
  EXPECT_GE(LineIndex("Admin token file was readable by others; now mode 0600."), 0);
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AdminToken, ShortTokensAndUnreadableFilesAreRefused) {
  TempDir dir;
  EXPECT_THROW(LoadAdminToken("short", dir.Path()), EConvertError);
  EXPECT_EQ(LoadAdminToken("given-token-long-enough", dir.Path()).Token, "given-token-long-enough");
  EXPECT_FALSE(fs::exists(dir / ADMIN_TOKEN_FILE));  // a given token makes no file

  std::ofstream(dir / ADMIN_TOKEN_FILE) << "\n";
  ::chmod((dir / ADMIN_TOKEN_FILE).c_str(), 0600);
  EXPECT_THROW(LoadAdminToken("", dir.Path()), EInOutError);  // holds no token
  std::ofstream(dir / ADMIN_TOKEN_FILE) << "  operator-chosen-token-1234 \r\n";
  EXPECT_EQ(LoadAdminToken("", dir.Path()).Token, "operator-chosen-token-1234");
  EXPECT_THROW(LoadAdminToken("", dir.Path() + "/no/such/dir"), EInOutError);

  EXPECT_NE(NewAdminToken(), NewAdminToken());
  EXPECT_TRUE(TokenMatches("abc", "abc"));
  EXPECT_FALSE(TokenMatches("abc", "abd"));
  EXPECT_FALSE(TokenMatches("abc", "ab"));
  EXPECT_FALSE(TokenMatches("abc", "abcd"));
  EXPECT_FALSE(TokenMatches("abc", ""));
}

TEST(AdminAddress, AddressAndPortOrAnErrorThatSaysWhy) {
  TAdminAddress a = AdminAddressOf("127.0.0.1:8080", "--admin-listen");
  EXPECT_EQ(a.Address, QHostAddress("127.0.0.1"));
  EXPECT_EQ(a.Port, 8080);
  a = AdminAddressOf("[::1]:0", "--admin-listen");
  EXPECT_EQ(a.Address, QHostAddress("::1"));
  EXPECT_EQ(a.Port, 0);
  EXPECT_EQ(AdminAddressText(a.Address, 81), "[::1]:81");
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"127.0.0.1", "is not ADDRESS:PORT"},
      {"localhost:80", "does not begin with an IP address"},
      {"127.0.0.1:", "does not end in a port (0 to 65535)"},
      {"127.0.0.1:65536", "does not end in a port (0 to 65535)"},
      {"127.0.0.1:-1", "does not end in a port (0 to 65535)"},
      {"::1:80", "has an IPv6 address without [brackets]"}};
  for (const auto& [text, why] : bad) {
    try {
      AdminAddressOf(text, "--admin-listen");
      ADD_FAILURE() << text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "--admin-listen: '" + text + "' " + why);
    }
  }
}

}  // namespace
}  // namespace zq::test

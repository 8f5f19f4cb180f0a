// The admin API's tests: an in-process server on a generated world (ServerTest) with an
// admin server on a free loopback port, and a real HTTP client (QNetworkAccessManager) whose
// waits pump the same event loop. Also a reader of the event stream and a parser of the
// metrics text.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/admin/AdminServer.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {

constexpr const char* TEST_TOKEN = "test-token-0123456789abcdef";

struct THttpResult {
  int Status = 0;  // 0: no answer in time
  QByteArray Body;
  std::map<std::string, std::string> Headers;  // names in lower case
  QJsonObject Json() const { return QJsonDocument::fromJson(Body).object(); }
  std::string Header(const std::string& name) const;
};

// One server-sent event as read.
struct TStreamEvent {
  uint64_t Id = 0;
  std::string Name;
  QJsonObject Data;
};

class AdminApiTest : public ServerTest {
 protected:
  AdminApiTest();
  ~AdminApiTest() override;

  // Starts the game server and then the admin server (with adminSettings_).
  void StartAdmin();

  // A request with the token (none when empty), waited for with the loop pumped.
  THttpResult Request(const QByteArray& method, const std::string& path,
                      const std::string& token = TEST_TOKEN,
                      const std::vector<std::pair<QByteArray, QByteArray>>& headers = {},
                      const QByteArray& body = {});
  // The same with a body (JSON), and the token.
  THttpResult Send(const QByteArray& method, const std::string& path, const QByteArray& body) {
    return Request(method, path, TEST_TOKEN, {}, body);
  }
  // A request sent with the token and not waited for.
  std::unique_ptr<QNetworkReply> Begin(
      const QByteArray& method, const std::string& path, const QByteArray& body = {},
      const std::string& token = TEST_TOKEN,
      const std::vector<std::pair<QByteArray, QByteArray>>& headers = {});
  // Waits for a reply begun so.
  THttpResult Finish(QNetworkReply& reply);
  THttpResult Get(const std::string& path, const std::string& token = TEST_TOKEN) {
    return Request("GET", path, token);
  }
  THttpResult Post(const std::string& path, const std::string& token = TEST_TOKEN) {
    return Request("POST", path, token);
  }

  // Opens the event stream (kept open until the test ends); its events arrive in `events`.
  QNetworkReply* Follow(std::vector<TStreamEvent>& events, const std::string& lastEventId = {});

  QUrl Url(const std::string& path) const;

  // The heartbeat timer never fires during a test: tests run the cycle themselves.
  TServerOptions serverOptions_ = [] {
    TServerOptions options;
    options.BeatInterval = 3'600'000;
    return options;
  }();
  TAdminSettings adminSettings_;
  std::unique_ptr<TAdminServer> admin_;
  int shutdowns_ = 0;            // calls of the shutdown hook
  int64_t now_ = 1'800'000'000;  // the clock of the wrong-token limit, in Unix seconds
  QNetworkAccessManager http_;
  std::vector<std::unique_ptr<QNetworkReply>> streams_;
};

// Metrics text: "name{labels}" -> value, with the families' TYPE lines; raises
// std::runtime_error on any line the exposition format does not allow.
struct TMetrics {
  std::map<std::string, double> Samples;
  std::map<std::string, std::string> Types;
  double Value(const std::string& series) const;  // 0 when absent
};
TMetrics ParseMetrics(const std::string& text);

}  // namespace zq::test

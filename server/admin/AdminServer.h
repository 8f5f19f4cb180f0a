// TAdminServer: the admin HTTP API over THttpServer on the main thread's event loop, beside
// a TZQOServer: status, players, kick, pause, resume, shutdown, accounts, bans, the event
// stream, the map picture, the metrics and the dashboard page (routes and documents in
// docs/ADMIN.md). Changes to accounts and bans are answered once the job thread has written
// them.
// Every request but /metrics and the page's files needs "Authorization: Bearer TOKEN"
// (TAdminAuth); one that changes something and names an origin must come from the page's
// own. Made before the server starts, so that the event stream has the start-up's log lines;
// Start after the start sequence. Main thread only.
#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "accounts/Times.h"
#include "server/ZQOSrv.h"
#include "server/admin/AdminAuth.h"
#include "server/admin/AdminJson.h"
#include "server/admin/AdminRouter.h"
#include "server/admin/EventStream.h"
#include "server/admin/HttpServer.h"
#include "server/admin/ServerMetrics.h"

namespace zq {

struct TAdminSettings {
  std::string Listen;  // "ADDRESS:PORT"
  std::string Token;   // empty: the token file's
  // The address of a proxy in front (empty: none): its connections are not limited per
  // address, and its requests count by the client address it names in X-Forwarded-For.
  std::string TrustedProxy;
  // Unix seconds for the wrong-token limit (tests pass their own); empty: the system clock.
  TWallClock Clock;
  THttpLimits Limits;
};

class TAdminServer {
 public:
  // `shutdown` ends the server and the program the front end's way (POST /api/shutdown).
  TAdminServer(TZQOServer& server, TAdminSettings settings, std::function<void()> shutdown);
  ~TAdminServer();
  TAdminServer(const TAdminServer&) = delete;
  TAdminServer& operator=(const TAdminServer&) = delete;

  // Takes the token (making the token file when needed) and listens; logs both. Raises
  // EConvertError for a bad address or token and EInOutError for a token file or a port
  // that cannot be used.
  void Start();

  uint16_t Port() const { return port_; }
  const std::string& Token() const { return token_; }
  const std::string& TokenPath() const { return tokenPath_; }
  const TEventStream& Events() const { return events_; }
  // Requests waiting for the job thread's answer (their connections still open).
  std::size_t Waiting() const { return http_->Held(); }

 private:
  using TResponse = THttpResponse;

  void AddPageRoutes();
  void AddReadRoutes();
  void AddControlRoutes();
  void AddAccountRoutes();
  void AddBanRoutes();
  // Adds a route; `handler` takes (), (request), (request, responder) or (argument,
  // request, responder), and returns its answer unless it takes the responder.
  template <typename F>
  void Route(const std::string& pattern, TMethod methods, F handler);
  void OnRequest(THttpExchange& exchange);
  // A response when the request may not go on (401, 403, 429), logged; none when it may.
  std::optional<TResponse> Refusal(const THttpRequest& request);
  // The same, or 503 when the server keeps no accounts file (not running).
  std::optional<TResponse> AccountsRefusal(const THttpRequest& request);
  // The client's address: the connection's, or the one a trusted proxy names.
  std::string AddressOf(const THttpRequest& request) const;
  std::string By(const THttpRequest& request) const;
  TResponse Kick(const std::string& guidText, const THttpRequest& request);
  // Keeps the request until the server's change is done; the callback then answers what
  // `success` makes, or the error with the status its outcome calls for.
  TEditDone Later(THttpExchange&& responder, std::function<TResponse()> success);
  // The account as the file has it now, with `status`; its name alone when it cannot be read.
  TResponse AccountAnswer(const std::string& name, THttpStatus status);
  TResponse MapPicture();
  void OnEvent(const TServerEvent& event);
  void OnSecond();  // rates and keep-alive

  TZQOServer& server_;
  TAdminSettings settings_;
  std::function<void()> shutdown_;
  std::unique_ptr<THttpServer> http_;
  TAdminRouter router_;
  // Lives while this admin server does, so that the server's callbacks can tell.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::unique_ptr<TAdminAuth> auth_;
  std::string token_;
  std::string tokenPath_;
  uint16_t port_ = 0;
  TEventStream events_;  // after http_: its streams end before the transport
  TAdminCounters counters_;
  std::string mapPng_;  // made at the first request
  QTimer second_;
  uint64_t lastIn_ = 0, lastOut_ = 0;
  std::chrono::steady_clock::time_point lastSample_;
  TMessageRates rates_;
  int secondsQuiet_ = 0;  // since the last keep-alive
};

}  // namespace zq

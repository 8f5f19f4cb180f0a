#include "server/admin/AdminServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "accounts/NameText.h"
#include "accounts/Times.h"
#include "platform/Errors.h"
#include "server/MapImage.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"
#include "server/admin/MetricsText.h"

namespace zq {

namespace {

// A route's argument: a path segment, or the rest of the path with its slashes (a range such
// as 10.0.0.0/8, a name with a "%2F"), decoded.
struct TPathText {
  std::string Text;
};

using TStatus = THttpStatus;

constexpr int KEEP_ALIVE_SECONDS = 15;
// How long the answer to a wrong token from a blocked address waits.
constexpr int BLOCKED_ANSWER_DELAY_MS = 1000;
// How much of a refused request's path the log shows.
constexpr std::size_t LOGGED_PATH_BYTES = 200;
constexpr const char* PAGE_CSP =
    "default-src 'self'; img-src 'self' blob:; connect-src 'self'; frame-ancestors 'none'";

// The page's files, in the resources under /admin/web.
struct TPageFile {
  const char* Path;
  const char* Resource;
  const char* Type;
};
const TPageFile PAGE_FILES[] = {
    {"/", ":/admin/web/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/admin/web/app.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/admin/web/style.css", "text/css; charset=utf-8"},
    {"/favicon.svg", ":/admin/web/favicon.svg", "image/svg+xml"},
};

THttpResponse Json(const QJsonObject& body, TStatus status = TStatus::Ok) {
  return THttpResponse{status,
                       QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                       {{"Content-Type", "application/json"}}};
}

THttpResponse Error(TStatus status, const QString& text) {
  return Json(QJsonObject{{"error", text}}, status);
}

THttpResponse Content(const char* type, std::string body) {
  return THttpResponse{TStatus::Ok, std::move(body), {{"Content-Type", type}}};
}

THttpResponse Unavailable() {
  return Error(TStatus::ServiceUnavailable,
               "accounts are not available: the server is not running");
}

TStatus StatusOf(TEditOutcome outcome) {
  switch (outcome) {
    case TEditOutcome::Done:
      return TStatus::Ok;
    case TEditOutcome::Invalid:
      return TStatus::BadRequest;
    case TEditOutcome::Exists:
      return TStatus::Conflict;
    case TEditOutcome::Missing:
      return TStatus::NotFound;
    case TEditOutcome::Failed:
      break;
  }
  return TStatus::InternalServerError;
}

// The headers every answer carries, also those given later.
THttpResponse Finished(THttpResponse&& response) {
  if (!response.HasHeader("Cache-Control")) response.SetHeader("Cache-Control", "no-store");
  response.SetHeader("X-Content-Type-Options", "nosniff");
  return std::move(response);
}

// Answers; a refusal of a blocked address's wrong token only after a while, so that the
// address cannot go on guessing at the network's speed.
void Reply(THttpExchange&& responder, THttpResponse&& response) {
  if (response.Status == TStatus::TooManyRequests)
    responder.AnswerAfter(BLOCKED_ANSWER_DELAY_MS, Finished(std::move(response)));
  else
    responder.Answer(Finished(std::move(response)));
}

// The request's JSON body: an object with none but the keys asked for. The first thing found
// wrong is kept in Problem; the values are never quoted in it (a password may be one).
class TBody {
 public:
  TBody(const THttpRequest& request, std::initializer_list<const char*> keys) {
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(request.Body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
      Problem = "the body must be a JSON object";
      return;
    }
    object_ = document.object();
    for (const QString& key : object_.keys()) {
      if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return key == k; })) {
        Problem = "unknown field: " + key.left(40);
        return;
      }
    }
  }
  // A string; empty when absent or null.
  std::optional<std::string> Text(const char* key) {
    const QJsonValue value = object_.value(key);
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    if (!value.isString()) {
      Fail(QString(key) + " must be a string");
      return std::nullopt;
    }
    return value.toString().toStdString();
  }
  // A whole number from `least` to `most`; empty when absent or null.
  std::optional<int64_t> Integer(const char* key, int64_t least, int64_t most) {
    const QJsonValue value = object_.value(key);
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < static_cast<double>(least) ||
        number > static_cast<double>(most)) {
      Fail(QString(key) + " must be a whole number from " + QString::number(least) + " to " +
           QString::number(most));
      return std::nullopt;
    }
    return static_cast<int64_t>(number);
  }
  // True or false; `otherwise` when absent or null.
  bool Bool(const char* key, bool otherwise) {
    const QJsonValue value = object_.value(key);
    if (value.isUndefined() || value.isNull()) return otherwise;
    if (!value.isBool()) Fail(QString(key) + " must be true or false");
    return value.toBool(otherwise);
  }
  void Fail(const QString& problem) {
    if (Problem.isEmpty()) Problem = problem;
  }
  bool Ok() const { return Problem.isEmpty(); }

  QString Problem;

 private:
  QJsonObject object_;
};

// "Player" or "Admin" in any letter case; empty when absent, Problem set for anything else.
std::optional<TPrivileges> PrivilegesField(TBody& body) {
  const std::optional<std::string> text = body.Text("privileges");
  if (!text) return std::nullopt;
  std::optional<TPrivileges> privileges = ParsePrivileges(*text);
  if (!privileges) body.Fail("privileges must be \"Player\" or \"Admin\"");
  return privileges;
}

// How a ban target is read: as it looks without a kind; nothing for an unknown kind.
std::optional<TBanReading> ReadingOf(const std::optional<std::string>& kind) {
  if (!kind) return TBanReading::Any;
  return ParseBanReading(*kind);
}
constexpr const char* KIND_PROBLEM = "kind must be \"name\", \"address\" or \"range\"";

QString Shown(const std::string& name) {
  return QString::fromStdString(ShowName(name));
}

// The path as sent, bytes outside printable ASCII as %XX, and at most LOGGED_PATH_BYTES of
// it: a path can make a log line neither long nor two.
std::string LoggedPath(std::string_view target) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  target = target.substr(0, target.find('?'));
  std::string out;
  for (const char c : target) {
    const auto b = static_cast<unsigned char>(c);
    const std::string piece =
        b > 0x20 && b < 0x7F ? std::string(1, c) : std::string{'%', HEX[b >> 4], HEX[b & 0xF]};
    if (out.size() + piece.size() > LOGGED_PATH_BYTES) return out + "...";
    out += piece;
  }
  return out;
}

std::string Described(const THttpRequest& request) {
  return request.Method + " " + LoggedPath(request.Target);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A request that changes something, from another origin than the server's own page: a web
// page may send such a request (a text/plain POST) without asking first. Its Origin must be
// this server as the request reached it (by TLS through a proxy, too).
bool FromAnotherOrigin(const THttpRequest& request) {
  if (request.Method == "GET" || request.Method == "HEAD" || !request.HasHeader("Origin"))
    return false;
  const std::string origin = Lower(request.Header("Origin"));
  const std::string host = Lower(request.Header("Host"));
  return host.empty() || (origin != "http://" + host && origin != "https://" + host);
}

// "198.51.100.7" from a text that should hold one address; empty when it does not.
std::string AddressText(const std::string& text) {
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(text).trimmed())) return {};
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) address = QHostAddress(v4);  // ::ffff:127.0.0.1 -> 127.0.0.1
  return address.toString().toStdString();
}

// A GUID in a path: 1 to 2^32 - 1 in decimal digits; nothing for any other number.
std::optional<uint32_t> GuidOf(const std::string& text) {
  uint64_t value = 0;
  for (const char c : text) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace

TAdminServer::TAdminServer(TZQOServer& server, TAdminSettings settings,
                           std::function<void()> shutdown)
    : server_(server),
      settings_(std::move(settings)),
      shutdown_(std::move(shutdown)),
      http_(std::make_unique<THttpServer>(
          settings_.Limits, [this](THttpExchange& exchange) { OnRequest(exchange); })),
      events_(*http_) {
  if (!settings_.Clock) settings_.Clock = SystemWallClock;
  AddPageRoutes();
  AddReadRoutes();
  AddControlRoutes();
  AddAccountRoutes();
  AddBanRoutes();
  server_.SetEventSink([this](const TServerEvent& event) { OnEvent(event); });
  QObject::connect(&second_, &QTimer::timeout, [this] { OnSecond(); });
}

TAdminServer::~TAdminServer() {
  server_.SetEventSink(nullptr);
  second_.stop();
}

template <typename F>
void TAdminServer::Route(const std::string& pattern, TMethod methods, F handler) {
  router_.Add(
      pattern, methods,
      [handler = std::move(handler)](const std::string& arg, const THttpRequest& request,
                                     THttpExchange& exchange) {
        if constexpr (std::is_invocable_v<const F&>)
          Reply(std::move(exchange), handler());
        else if constexpr (std::is_invocable_v<const F&, const THttpRequest&>)
          Reply(std::move(exchange), handler(request));
        else if constexpr (std::is_invocable_v<const F&, const THttpRequest&, THttpExchange&&>)
          handler(request, std::move(exchange));
        else if constexpr (std::is_invocable_v<const F&, const TPathText&, const THttpRequest&>)
          Reply(std::move(exchange), handler(TPathText{arg}, request));
        else
          handler(TPathText{arg}, request, std::move(exchange));
      });
}

void TAdminServer::OnRequest(THttpExchange& exchange) {
  std::string allowed;
  switch (router_.Route(exchange, allowed)) {
    case TAdminRouter::TResult::Routed:
      return;
    case TAdminRouter::TResult::NoSuchPath:
      return Reply(std::move(exchange), Error(TStatus::NotFound, "no such path"));
    case TAdminRouter::TResult::MethodNotAllowed: {
      THttpResponse response =
          Error(TStatus::MethodNotAllowed,
                QString::fromStdString("method not allowed; allowed: " + allowed));
      response.SetHeader("Allow", allowed);
      return Reply(std::move(exchange), std::move(response));
    }
  }
}

std::string TAdminServer::AddressOf(const THttpRequest& request) const {
  if (settings_.TrustedProxy.empty() || request.Peer != settings_.TrustedProxy) return request.Peer;
  // The proxy adds the address it took the request from at the end.
  const std::string forwarded = request.Header("X-Forwarded-For");
  const std::string client = AddressText(forwarded.substr(forwarded.rfind(',') + 1));
  return client.empty() ? request.Peer : client;
}

std::string TAdminServer::By(const THttpRequest& request) const {
  return "the admin API (" + AddressOf(request) + ")";
}

void TAdminServer::Start() {
  const TAdminAddress where = AdminAddressOf(settings_.Listen, "--admin-listen");
  const TAdminToken token = LoadAdminToken(settings_.Token, server_.Status().GameDirectory);
  token_ = token.Token;
  tokenPath_ = token.Path;
  auth_ = std::make_unique<TAdminAuth>(token_, settings_.Clock);
  if (!settings_.TrustedProxy.empty()) {
    settings_.TrustedProxy = AdminProxyOf(settings_.TrustedProxy, "--admin-proxy");
    http_->ExemptFromAddressLimit(settings_.TrustedProxy);
  }
  port_ = http_->Listen(where.Address, where.Port);
  if (port_ == 0) throw EInOutError("Cannot listen for the admin API on " + settings_.Listen);
  server_.Log("Admin API listening on http://" + AdminAddressText(where.Address, port_) + "/");
  if (tokenPath_.empty())
    server_.Log("Admin token: the one given.");
  else
    server_.Log(std::string(token.Made ? "Admin token made in " : "Admin token in ") + tokenPath_ +
                " (mode 0600).");
  if (token.Tightened) server_.Log("Admin token file was readable by others; now mode 0600.");
  lastSample_ = std::chrono::steady_clock::now();
  const TServerStatus status = server_.Status();
  lastIn_ = status.Traffic.ReceivedTotal();
  lastOut_ = status.Traffic.SentTotal();
  second_.start(1000);
}

std::optional<THttpResponse> TAdminServer::AccountsRefusal(const THttpRequest& request) {
  if (auto refusal = Refusal(request)) return refusal;
  if (!server_.Administration()) return Unavailable();
  return std::nullopt;
}

std::optional<THttpResponse> TAdminServer::Refusal(const THttpRequest& request) {
  if (FromAnotherOrigin(request)) {
    ++counters_.CrossOrigin;  // not logged: any page its readers open may send them
    return Error(TStatus::Forbidden, "a change must come from this server's own page");
  }
  const std::string address = AddressOf(request);
  const TAuthVerdict verdict = auth_->Check(address, request.Header("Authorization"));
  if (verdict.Result == TAuthResult::Ok) return std::nullopt;
  if (verdict.Result == TAuthResult::Blocked) {
    ++counters_.Blocked;  // logged once, when the block began
    THttpResponse response = Error(TStatus::TooManyRequests, "too many wrong tokens");
    response.SetHeader("Retry-After", std::to_string(TAdminAuth::BLOCK_SECONDS));
    return response;
  }
  ++counters_.Unauthorized;
  server_.Log("Admin API: " + std::string(verdict.Result == TAuthResult::Missing ? "no" : "wrong") +
              " token from " + address + " (" + Described(request) + ").");
  if (verdict.BlockedNow)
    server_.Log("Admin API: " + address + " refused for " +
                std::to_string(TAdminAuth::BLOCK_SECONDS) + " s after " +
                std::to_string(TAdminAuth::FAILURES) + " wrong or missing tokens.");
  THttpResponse response = Error(TStatus::Unauthorized, "missing or wrong token");
  response.SetHeader("WWW-Authenticate", "Bearer realm=\"zqosrv\"");
  return response;
}

void TAdminServer::AddPageRoutes() {
  for (const TPageFile& file : PAGE_FILES) {
    Route(file.Path, TMethod::Get, [file] {
      QFile resource(QString::fromLatin1(file.Resource));
      if (!resource.open(QIODevice::ReadOnly)) return Error(TStatus::NotFound, "no such file");
      THttpResponse response = Content(file.Type, resource.readAll().toStdString());
      response.SetHeader("Content-Security-Policy", PAGE_CSP);
      return response;
    });
  }
  // The metrics need no token, like the page: a scraper has none.
  Route("/metrics", TMethod::Get, [this] {
    counters_.Followers = events_.Followers();
    counters_.FollowersDropped = events_.Dropped();
    counters_.Connections = http_->Connections();
    counters_.Refusals = http_->Refusals();
    return Content(METRICS_CONTENT_TYPE, ServerMetricsText(server_.Status(), counters_));
  });
}

void TAdminServer::AddReadRoutes() {
  Route("/api/status", TMethod::Get, [this](const THttpRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return Json(StatusJson(server_.Status(), rates_, std::chrono::system_clock::now()));
  });
  Route("/api/players", TMethod::Get, [this](const THttpRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    TAdministration* administration = server_.Administration();
    return Json(
        QJsonObject{{"players", PlayersJson(server_.Status(),
                                            administration ? &administration->Accounts() : nullptr,
                                            std::chrono::system_clock::now())}});
  });
  Route("/api/map.png", TMethod::Get, [this](const THttpRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return MapPicture();
  });
  Route("/api/events", TMethod::Get,
        [this](const THttpRequest& request, THttpExchange&& responder) {
          if (auto refusal = Refusal(request))
            return Reply(std::move(responder), std::move(*refusal));
          bool ok = false;
          const uint64_t lastId =
              QByteArray::fromStdString(request.Header("Last-Event-ID")).toULongLong(&ok);
          events_.Follow(responder, ok ? lastId : 0);
        });
}

void TAdminServer::AddControlRoutes() {
  Route("/api/players/<arg>/kick", TMethod::Post,
        [this](const TPathText& guid, const THttpRequest& request) {
          if (auto refusal = Refusal(request)) return std::move(*refusal);
          return Kick(guid.Text, request);
        });
  auto pause = [this](bool paused) {
    return [this, paused](const THttpRequest& request) {
      if (auto refusal = Refusal(request)) return std::move(*refusal);
      if (!server_.ServerStarted()) return Error(TStatus::Conflict, "the server is not running");
      server_.SetPaused(paused);
      return Json(QJsonObject{{"paused", server_.Status().Paused}});
    };
  };
  Route("/api/pause", TMethod::Post, pause(true));
  Route("/api/resume", TMethod::Post, pause(false));
  Route("/api/shutdown", TMethod::Post,
        [this](const THttpRequest& request, THttpExchange&& responder) {
          if (auto refusal = Refusal(request))
            return Reply(std::move(responder), std::move(*refusal));
          server_.Log("Shutdown requested by " + By(request) + ".");
          // Once the answer has gone out.
          responder.AfterAnswer([this] {
            if (shutdown_) shutdown_();
          });
          Reply(std::move(responder), Json(QJsonObject{{"shutting_down", true}}));
        });
}

THttpResponse TAdminServer::Kick(const std::string& text, const THttpRequest& request) {
  if (text.find_first_not_of("0123456789") != std::string::npos)
    return Error(TStatus::NotFound, "no player with GUID " + QString::fromStdString(text).left(40));
  const std::optional<uint32_t> number = GuidOf(text);
  if (!number) return Error(TStatus::BadRequest, "a GUID is a whole number from 1 to 4294967295");
  const uint32_t guid = *number;
  TAdministration* administration = server_.Administration();
  const std::optional<TKicked> kicked =
      administration ? administration->KickPlayer(guid, By(request)) : std::nullopt;
  if (!kicked) return Error(TStatus::NotFound, "no player with GUID " + QString::number(guid));
  return Json(QJsonObject{{"kicked", static_cast<qint64>(guid)},
                          {"socket", kicked->SocketID},
                          {"name", Shown(kicked->Name)}});
}

TEditDone TAdminServer::Later(THttpExchange&& responder, std::function<TResponse()> success) {
  const uint64_t id = responder.Hold();
  // Runs on the main thread; nothing is answered once this admin server is gone.
  return [this, alive = std::weak_ptr(alive_), id, success = std::move(success)](
             TEditOutcome outcome, const std::string& error) {
    if (alive.expired()) return;
    http_->Answer(id, Finished(outcome == TEditOutcome::Done
                                   ? success()
                                   : Error(StatusOf(outcome), QString::fromStdString(error))));
  };
}

THttpResponse TAdminServer::AccountAnswer(const std::string& name, TStatus status) {
  std::optional<TAccount> account;
  try {
    if (TAdministration* administration = server_.Administration())
      account = administration->Accounts().Reads().Find(name);
  } catch (const std::exception&) {
  }
  if (!account) return Json(QJsonObject{{"name", Shown(name)}}, status);
  return Json(AccountJson(*account, server_.Status().PlayerNamed(account->Name) != nullptr),
              status);
}

void TAdminServer::AddAccountRoutes() {
  Route("/api/accounts", TMethod::Get, [this](const THttpRequest& request) {
    if (auto refusal = AccountsRefusal(request)) return std::move(*refusal);
    TAccountService& accounts = server_.Administration()->Accounts();
    try {
      const TServerStatus status = server_.Status();
      QJsonArray list;
      for (const TAccount& account : accounts.Reads().List())
        list.append(AccountJson(account, status.PlayerNamed(account.Name) != nullptr));
      return Json(QJsonObject{{"accounts", list}});
    } catch (const std::exception& e) {
      return Error(TStatus::InternalServerError, e.what());
    }
  });
  Route("/api/accounts", TMethod::Post,
        [this](const THttpRequest& request, THttpExchange&& responder) {
          if (auto refusal = AccountsRefusal(request))
            return Reply(std::move(responder), std::move(*refusal));
          TBody body(request, {"name", "password", "privileges"});
          TAccountEdit edit;
          edit.Create = true;
          edit.Name = ReadName(body.Text("name").value_or(""));
          edit.Password = body.Text("password").value_or("");
          edit.Privileges = PrivilegesField(body).value_or(TPrivileges::Player);
          edit.By = By(request);
          if (body.Ok() && edit.Name.empty()) body.Fail("name is required");
          if (body.Ok() && edit.Password.empty()) body.Fail("password is required");
          if (!body.Ok())
            return Reply(std::move(responder), Error(TStatus::BadRequest, body.Problem));
          const std::string name = edit.Name;
          server_.Administration()->EditAccount(std::move(edit),
                                                Later(std::move(responder), [this, name] {
                                                  return AccountAnswer(name, TStatus::Created);
                                                }));
        });
  // The account's name in the path; a change keeps what the body leaves out.
  Route("/api/accounts/<arg>", TMethod::Put | TMethod::Post,
        [this](const TPathText& name, const THttpRequest& request, THttpExchange&& responder) {
          if (auto refusal = AccountsRefusal(request))
            return Reply(std::move(responder), std::move(*refusal));
          TBody body(request, {"password", "privileges"});
          TAccountEdit edit;
          edit.Name = ReadName(name.Text);
          edit.Password = body.Text("password").value_or("");
          edit.Privileges = PrivilegesField(body);
          edit.By = By(request);
          if (body.Ok() && edit.Password.empty() && !edit.Privileges)
            body.Fail("nothing to change: give a password or privileges");
          if (!body.Ok())
            return Reply(std::move(responder), Error(TStatus::BadRequest, body.Problem));
          const std::string account = edit.Name;
          server_.Administration()->EditAccount(std::move(edit),
                                                Later(std::move(responder), [this, account] {
                                                  return AccountAnswer(account, TStatus::Ok);
                                                }));
        });
  Route("/api/accounts/<arg>", TMethod::Delete,
        [this](const TPathText& name, const THttpRequest& request, THttpExchange&& responder) {
          if (auto refusal = AccountsRefusal(request))
            return Reply(std::move(responder), std::move(*refusal));
          const std::string account = ReadName(name.Text);
          server_.Administration()->DeleteAccount(
              account, By(request), Later(std::move(responder), [account] {
                return Json(QJsonObject{{"removed", Shown(account)}});
              }));
        });
}

void TAdminServer::AddBanRoutes() {
  Route("/api/bans", TMethod::Get, [this](const THttpRequest& request) {
    if (auto refusal = AccountsRefusal(request)) return std::move(*refusal);
    TAccountService& accounts = server_.Administration()->Accounts();
    try {
      const int64_t now = SystemWallClock();
      QJsonArray list;
      for (const TBan& ban : accounts.Reads().Bans().List()) list.append(BanJson(ban, now));
      return Json(QJsonObject{{"bans", list}});
    } catch (const std::exception& e) {
      return Error(TStatus::InternalServerError, e.what());
    }
  });
  Route("/api/bans", TMethod::Post, [this](const THttpRequest& request, THttpExchange&& responder) {
    if (auto refusal = AccountsRefusal(request))
      return Reply(std::move(responder), std::move(*refusal));
    TBody body(request, {"target", "kind", "duration", "reason", "force"});
    const std::optional<std::string> target = body.Text("target");
    const std::optional<TBanReading> reading = ReadingOf(body.Text("kind"));
    if (!reading) body.Fail(KIND_PROBLEM);
    const std::optional<int64_t> duration = body.Integer("duration", 1, MAX_DURATION_SECONDS);
    std::string reason = body.Text("reason").value_or("");
    const bool force = body.Bool("force", false);
    TBanTarget parsed;
    if (body.Ok() && !target) body.Fail("target is required");
    if (body.Ok()) {
      try {
        parsed = ParseBanTarget(ReadName(*target), *reading);
      } catch (const EConvertError& e) {
        body.Fail(e.what());
      }
    }
    if (!body.Ok()) return Reply(std::move(responder), Error(TStatus::BadRequest, body.Problem));
    // Everybody, or the admin itself, is banned only when the request says so.
    if (const std::string why = ConfirmationNeeded(parsed, AddressOf(request));
        !why.empty() && !force)
      return Reply(std::move(responder),
                   Error(TStatus::Conflict, QString::fromStdString(why) +
                                                "; send \"force\": true to ban it all the same"));
    const TBan ban = NewBan(std::move(parsed), std::move(reason), duration, SystemWallClock());
    TEditDone done = Later(std::move(responder), [ban] {
      return Json(BanJson(ban, SystemWallClock()), TStatus::Created);
    });
    server_.Administration()->AddBan(
        ban,
        [done](const std::string& error) {
          done(error.empty() ? TEditOutcome::Done : TEditOutcome::Failed, error);
        },
        By(request));
  });
  Route("/api/bans/<arg>", TMethod::Delete,
        [this](const TPathText& text, const THttpRequest& request, THttpExchange&& responder) {
          if (auto refusal = AccountsRefusal(request))
            return Reply(std::move(responder), std::move(*refusal));
          const QUrlQuery query(QUrl(QString::fromStdString(request.Target)));
          std::optional<std::string> kind;
          if (query.hasQueryItem("kind"))
            kind = query.queryItemValue("kind", QUrl::FullyDecoded).toStdString();
          const std::optional<TBanReading> reading = ReadingOf(kind);
          if (!reading)
            return Reply(std::move(responder), Error(TStatus::BadRequest, KIND_PROBLEM));
          TBanTarget target;
          try {
            target = ParseBanTarget(ReadName(text.Text), *reading);
          } catch (const EConvertError& e) {
            return Reply(std::move(responder), Error(TStatus::BadRequest, e.what()));
          }
          server_.Administration()->RemoveBan(
              target, By(request), Later(std::move(responder), [target = target.Text] {
                return Json(QJsonObject{{"unbanned", Shown(target)}});
              }));
        });
}

THttpResponse TAdminServer::MapPicture() {
  if (mapPng_.empty()) {
    const std::shared_ptr<const TWorldData> world = server_.World();
    if (!world) return Error(TStatus::ServiceUnavailable, "the world is not loaded");
    mapPng_ = MapPng(RenderMapImage(world->Map())).toStdString();
  }
  THttpResponse response = Content("image/png", mapPng_);
  response.SetHeader("X-Map-Tiles-Per-Pixel", std::to_string(MAP_TILES_PER_PIXEL));
  response.SetHeader("Cache-Control", "private, max-age=3600");
  return response;
}

void TAdminServer::OnEvent(const TServerEvent& event) {
  events_.Publish(EventName(event),
                  QJsonDocument(EventJson(event)).toJson(QJsonDocument::Compact).toStdString());
}

void TAdminServer::OnSecond() {
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - lastSample_).count();
  const TServerStatus status = server_.Status();
  const uint64_t in = status.Traffic.ReceivedTotal(), out = status.Traffic.SentTotal();
  if (seconds > 0) {
    rates_.In = std::round(static_cast<double>(in - lastIn_) / seconds * 10) / 10;
    rates_.Out = std::round(static_cast<double>(out - lastOut_) / seconds * 10) / 10;
  }
  lastSample_ = now;
  lastIn_ = in;
  lastOut_ = out;
  // The server stopped under requests whose answer it will not give any more.
  if (http_->Held() > 0 && !server_.Administration())
    http_->AnswerAll([] {
      return Finished(Error(TStatus::ServiceUnavailable,
                            "the server stopped before answering; the change may or may not "
                            "have been made"));
    });
  if (++secondsQuiet_ >= KEEP_ALIVE_SECONDS) {
    secondsQuiet_ = 0;
    events_.KeepAlive();
  }
}

}  // namespace zq

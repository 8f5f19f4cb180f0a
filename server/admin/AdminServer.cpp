#include "server/admin/AdminServer.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrlQuery>
#include <algorithm>
#include <cmath>

#include "accounts/NameText.h"
#include "accounts/Times.h"
#include "platform/Errors.h"
#include "platform/TextEscape.h"
#include "server/MapImage.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"
#include "server/admin/MetricsText.h"

namespace zq {

// A path segment that may hold "/" (a range such as 10.0.0.0/8, a name): the router matches
// the decoded path, where "%2F" is a slash that the default "[^/]+" does not take. The
// handler reads the segment's bytes itself (PathTail): the router's text has every byte that
// is not UTF-8 turned into U+FFFD, which would be another name.
struct TPathText {
  TPathText() = default;
  TPathText(const QString&) {}  // the router's conversion
};

}  // namespace zq

Q_DECLARE_METATYPE(zq::TPathText)

namespace zq {
namespace {

using TMethod = QHttpServerRequest::Method;
using TStatus = QHttpServerResponder::StatusCode;

constexpr int KEEP_ALIVE_SECONDS = 15;
constexpr std::string_view ACCOUNTS_PATH = "/api/accounts/";
constexpr std::string_view BANS_PATH = "/api/bans/";
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

QHttpServerResponse Json(const QJsonObject& body, TStatus status = TStatus::Ok) {
  return QHttpServerResponse(body, status);
}

QHttpServerResponse Error(TStatus status, const QString& text) {
  return Json(QJsonObject{{"error", text}}, status);
}

QHttpServerResponse Unavailable() {
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

// The headers every answer carries, also those written through a responder.
QHttpServerResponse Finished(QHttpServerResponse&& response) {
  if (!response.hasHeader("Cache-Control")) response.setHeader("Cache-Control", "no-store");
  response.setHeader("X-Content-Type-Options", "nosniff");
  return std::move(response);
}

void Reply(QHttpServerResponder&& responder, QHttpServerResponse&& response) {
  Finished(std::move(response)).write(std::move(responder));
}

// The request's JSON body: an object with none but the keys asked for. The first thing found
// wrong is kept in Problem; the values are never quoted in it (a password may be one).
class TBody {
 public:
  TBody(const QHttpServerRequest& request, std::initializer_list<const char*> keys) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
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

// The request's path after `prefix`, percent-decoded to its bytes and read as a name is
// (ReadName): "caf%E9" and "caf%5CxE9" are both the name of those four bytes.
std::string PathTail(const QHttpServerRequest& request, std::string_view prefix) {
  const QByteArray path = request.url().path(QUrl::FullyEncoded).toLatin1();
  const auto skip = static_cast<qsizetype>(std::min<std::size_t>(prefix.size(), path.size()));
  return ReadName(QByteArray::fromPercentEncoding(path.mid(skip)).toStdString());
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

std::string AddressOf(const QHttpServerRequest& request) {
  QHostAddress address = request.remoteAddress();
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) address = QHostAddress(v4);  // ::ffff:127.0.0.1 -> 127.0.0.1
  return address.toString().toStdString();
}

std::string By(const QHttpServerRequest& request) {
  return "the admin API (" + AddressOf(request) + ")";
}

const char* MethodName(TMethod method) {
  switch (method) {
    case TMethod::Post:
      return "POST";
    case TMethod::Put:
      return "PUT";
    case TMethod::Delete:
      return "DELETE";
    default:
      return "GET";
  }
}

std::string Described(const QHttpServerRequest& request) {
  const char* method = MethodName(request.method());
  return std::string(method) + " " +
         EscapeControl(request.url().path(QUrl::FullyEncoded).toStdString());
}

}  // namespace

TAdminServer::TAdminServer(TZQOServer& server, TAdminSettings settings,
                           std::function<void()> shutdown)
    : server_(server),
      settings_(std::move(settings)),
      shutdown_(std::move(shutdown)),
      http_(std::make_unique<QHttpServer>()) {
  if (!settings_.Clock) settings_.Clock = SystemWallClock;
  static const bool pathTextConverts = QMetaType::registerConverter<QString, TPathText>();
  (void)pathTextConverts;
  http_->router()->addConverter(QMetaType::fromType<TPathText>(), u".+");
  AddPageRoutes();
  AddReadRoutes();
  AddControlRoutes();
  AddAccountRoutes();
  AddBanRoutes();
  http_->afterRequest([](QHttpServerResponse&& response) { return Finished(std::move(response)); });
  server_.SetEventSink([this](const TServerEvent& event) { OnEvent(event); });
  QObject::connect(&second_, &QTimer::timeout, [this] { OnSecond(); });
}

TAdminServer::~TAdminServer() {
  server_.SetEventSink(nullptr);
  second_.stop();
}

void TAdminServer::Start() {
  const TAdminAddress where = AdminAddressOf(settings_.Listen, "--admin-listen");
  const TAdminToken token = LoadAdminToken(settings_.Token, server_.Status().GameDirectory);
  token_ = token.Token;
  tokenPath_ = token.Path;
  auth_ = std::make_unique<TAdminAuth>(token_, settings_.Clock);
  port_ = http_->listen(where.Address, where.Port);
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

std::optional<QHttpServerResponse> TAdminServer::AccountsRefusal(
    const QHttpServerRequest& request) {
  if (auto refusal = Refusal(request)) return refusal;
  if (!server_.Administration()) return Unavailable();
  return std::nullopt;
}

std::optional<QHttpServerResponse> TAdminServer::Refusal(const QHttpServerRequest& request) {
  const std::string address = AddressOf(request);
  const TAuthVerdict verdict = auth_->Check(address, request.value("Authorization").toStdString());
  if (verdict.Result == TAuthResult::Ok) return std::nullopt;
  if (verdict.Result == TAuthResult::Blocked) {
    ++counters_.Blocked;  // logged once, when the block began
    QHttpServerResponse response = Error(TStatus::TooManyRequests, "too many wrong tokens");
    response.setHeader("Retry-After", QByteArray::number(TAdminAuth::BLOCK_SECONDS));
    return response;
  }
  ++counters_.Unauthorized;
  server_.Log("Admin API: " + std::string(verdict.Result == TAuthResult::Missing ? "no" : "wrong") +
              " token from " + address + " (" + Described(request) + ").");
  if (verdict.BlockedNow)
    server_.Log("Admin API: " + address + " refused for " +
                std::to_string(TAdminAuth::BLOCK_SECONDS) + " s after " +
                std::to_string(TAdminAuth::FAILURES) + " wrong or missing tokens.");
  QHttpServerResponse response = Error(TStatus::Unauthorized, "missing or wrong token");
  response.setHeader("WWW-Authenticate", "Bearer realm=\"zqosrv\"");
  return response;
}

void TAdminServer::AddPageRoutes() {
  for (const TPageFile& file : PAGE_FILES) {
    http_->route(file.Path, TMethod::Get, [file] {
      QFile resource(QString::fromLatin1(file.Resource));
      if (!resource.open(QIODevice::ReadOnly)) return Error(TStatus::NotFound, "no such file");
      QHttpServerResponse response(QByteArray(file.Type), resource.readAll());
      response.setHeader("Content-Security-Policy", PAGE_CSP);
      return response;
    });
  }
  // The metrics need no token, like the page: a scraper has none.
  http_->route("/metrics", TMethod::Get, [this] {
    counters_.Followers = events_.Followers();
    counters_.FollowersDropped = events_.Dropped();
    return QHttpServerResponse(
        QByteArray(METRICS_CONTENT_TYPE),
        QByteArray::fromStdString(ServerMetricsText(server_.Status(), counters_)));
  });
}

void TAdminServer::AddReadRoutes() {
  http_->route("/api/status", TMethod::Get, [this](const QHttpServerRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return Json(StatusJson(server_.Status(), rates_, std::chrono::system_clock::now()));
  });
  http_->route("/api/players", TMethod::Get, [this](const QHttpServerRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    TAdministration* administration = server_.Administration();
    return Json(
        QJsonObject{{"players", PlayersJson(server_.Status(),
                                            administration ? &administration->Accounts() : nullptr,
                                            std::chrono::system_clock::now())}});
  });
  http_->route("/api/map.png", TMethod::Get, [this](const QHttpServerRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return MapPicture();
  });
  http_->route("/api/events", TMethod::Get,
               [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                 if (auto refusal = Refusal(request))
                   return Reply(std::move(responder), std::move(*refusal));
                 bool ok = false;
                 const uint64_t lastId = request.value("Last-Event-ID").toULongLong(&ok);
                 events_.Follow(std::move(responder), ok ? lastId : 0);
               });
}

void TAdminServer::AddControlRoutes() {
  http_->route("/api/players/<arg>/kick", TMethod::Post,
               [this](quint32 guid, const QHttpServerRequest& request) {
                 if (auto refusal = Refusal(request)) return std::move(*refusal);
                 return Kick(guid, request);
               });
  auto pause = [this](bool paused) {
    return [this, paused](const QHttpServerRequest& request) {
      if (auto refusal = Refusal(request)) return std::move(*refusal);
      if (!server_.ServerStarted()) return Error(TStatus::Conflict, "the server is not running");
      server_.SetPaused(paused);
      return Json(QJsonObject{{"paused", server_.Status().Paused}});
    };
  };
  http_->route("/api/pause", TMethod::Post, pause(true));
  http_->route("/api/resume", TMethod::Post, pause(false));
  http_->route("/api/shutdown", TMethod::Post,
               [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                 if (auto refusal = Refusal(request))
                   return Reply(std::move(responder), std::move(*refusal));
                 server_.Log("Shutdown requested by " + By(request) + ".");
                 QTcpSocket* socket = responder.socket();
                 Reply(std::move(responder), Json(QJsonObject{{"shutting_down", true}}));
                 socket->flush();
                 // After this request's turn of the event loop.
                 QTimer::singleShot(0, [this] {
                   if (shutdown_) shutdown_();
                 });
               });
}

QHttpServerResponse TAdminServer::Kick(uint32_t guid, const QHttpServerRequest& request) {
  TAdministration* administration = server_.Administration();
  const std::optional<TKicked> kicked =
      administration ? administration->KickPlayer(guid, By(request)) : std::nullopt;
  if (!kicked) return Error(TStatus::NotFound, "no player with GUID " + QString::number(guid));
  return Json(QJsonObject{{"kicked", static_cast<qint64>(guid)},
                          {"socket", kicked->SocketID},
                          {"name", Shown(kicked->Name)}});
}

TEditDone TAdminServer::Later(QHttpServerResponder&& responder,
                              std::function<TResponse()> success) {
  const uint64_t id = replies_->Hold(std::move(responder));
  // Runs on the main thread; the replies are gone once this admin server is.
  return [replies = std::weak_ptr(replies_), id, success = std::move(success)](
             TEditOutcome outcome, const std::string& error) {
    std::shared_ptr<TWaitingReplies> held = replies.lock();
    if (!held) return;
    held->Answer(id, Finished(outcome == TEditOutcome::Done
                                  ? success()
                                  : Error(StatusOf(outcome), QString::fromStdString(error))));
  };
}

QHttpServerResponse TAdminServer::AccountAnswer(const std::string& name, TStatus status) {
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
  http_->route("/api/accounts", TMethod::Get, [this](const QHttpServerRequest& request) {
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
  http_->route("/api/accounts", TMethod::Post,
               [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
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
                 server_.Administration()->EditAccount(
                     std::move(edit), Later(std::move(responder), [this, name] {
                       return AccountAnswer(name, TStatus::Created);
                     }));
               });
  // The account's name in the path; a change keeps what the body leaves out.
  http_->route("/api/accounts/<arg>", TMethod::Put | TMethod::Post,
               [this](const TPathText&, const QHttpServerRequest& request,
                      QHttpServerResponder&& responder) {
                 if (auto refusal = AccountsRefusal(request))
                   return Reply(std::move(responder), std::move(*refusal));
                 TBody body(request, {"password", "privileges"});
                 TAccountEdit edit;
                 edit.Name = PathTail(request, ACCOUNTS_PATH);
                 edit.Password = body.Text("password").value_or("");
                 edit.Privileges = PrivilegesField(body);
                 edit.By = By(request);
                 if (body.Ok() && edit.Password.empty() && !edit.Privileges)
                   body.Fail("nothing to change: give a password or privileges");
                 if (!body.Ok())
                   return Reply(std::move(responder), Error(TStatus::BadRequest, body.Problem));
                 const std::string name = edit.Name;
                 server_.Administration()->EditAccount(std::move(edit),
                                                       Later(std::move(responder), [this, name] {
                                                         return AccountAnswer(name, TStatus::Ok);
                                                       }));
               });
  http_->route("/api/accounts/<arg>", TMethod::Delete,
               [this](const TPathText&, const QHttpServerRequest& request,
                      QHttpServerResponder&& responder) {
                 if (auto refusal = AccountsRefusal(request))
                   return Reply(std::move(responder), std::move(*refusal));
                 const std::string account = PathTail(request, ACCOUNTS_PATH);
                 server_.Administration()->DeleteAccount(
                     account, By(request), Later(std::move(responder), [account] {
                       return Json(QJsonObject{{"removed", Shown(account)}});
                     }));
               });
}

void TAdminServer::AddBanRoutes() {
  http_->route("/api/bans", TMethod::Get, [this](const QHttpServerRequest& request) {
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
  http_->route(
      "/api/bans", TMethod::Post,
      [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
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
        if (!body.Ok())
          return Reply(std::move(responder), Error(TStatus::BadRequest, body.Problem));
        // Everybody, or the admin itself, is banned only when the request says so.
        if (const std::string why = ConfirmationNeeded(parsed, AddressOf(request));
            !why.empty() && !force)
          return Reply(
              std::move(responder),
              Error(TStatus::Conflict,
                    QString::fromStdString(why) + "; send \"force\": true to ban it all the same"));
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
  http_->route("/api/bans/<arg>", TMethod::Delete,
               [this](const TPathText&, const QHttpServerRequest& request,
                      QHttpServerResponder&& responder) {
                 if (auto refusal = AccountsRefusal(request))
                   return Reply(std::move(responder), std::move(*refusal));
                 const QUrlQuery query(request.url());
                 std::optional<std::string> kind;
                 if (query.hasQueryItem("kind"))
                   kind = query.queryItemValue("kind", QUrl::FullyDecoded).toStdString();
                 const std::optional<TBanReading> reading = ReadingOf(kind);
                 if (!reading)
                   return Reply(std::move(responder), Error(TStatus::BadRequest, KIND_PROBLEM));
                 TBanTarget target;
                 try {
                   target = ParseBanTarget(PathTail(request, BANS_PATH), *reading);
                 } catch (const EConvertError& e) {
                   return Reply(std::move(responder), Error(TStatus::BadRequest, e.what()));
                 }
                 server_.Administration()->RemoveBan(
                     target, By(request), Later(std::move(responder), [target = target.Text] {
                       return Json(QJsonObject{{"unbanned", Shown(target)}});
                     }));
               });
}

QHttpServerResponse TAdminServer::MapPicture() {
  if (mapPng_.isEmpty()) {
    const std::shared_ptr<const TWorldData> world = server_.World();
    if (!world) return Error(TStatus::ServiceUnavailable, "the world is not loaded");
    mapPng_ = MapPng(RenderMapImage(world->Map()));
  }
  QHttpServerResponse response(QByteArray("image/png"), mapPng_);
  response.setHeader("X-Map-Tiles-Per-Pixel", QByteArray::number(MAP_TILES_PER_PIXEL));
  response.setHeader("Cache-Control", "private, max-age=3600");
  return response;
}

void TAdminServer::OnEvent(const TServerEvent& event) {
  events_.Publish(EventName(event), QJsonDocument(EventJson(event)).toJson(QJsonDocument::Compact));
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
  if (replies_->Size() > 0 && !server_.Administration())
    replies_->AnswerAll([] {
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

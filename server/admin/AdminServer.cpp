#include "server/admin/AdminServer.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QTcpSocket>

#include "platform/Errors.h"
#include "platform/TextEscape.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"
#include "server/admin/MapImage.h"
#include "server/admin/MetricsText.h"

namespace zq {
namespace {

using TMethod = QHttpServerRequest::Method;
using TStatus = QHttpServerResponder::StatusCode;

constexpr int KEEP_ALIVE_SECONDS = 15;
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

std::string AddressOf(const QHttpServerRequest& request) {
  QHostAddress address = request.remoteAddress();
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) address = QHostAddress(v4);  // ::ffff:127.0.0.1 -> 127.0.0.1
  return address.toString().toStdString();
}

std::string Described(const QHttpServerRequest& request) {
  const char* method = request.method() == TMethod::Post ? "POST" : "GET";
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
  if (!settings_.Clock)
    settings_.Clock = [] {
      return std::chrono::duration_cast<std::chrono::seconds>(
                 std::chrono::system_clock::now().time_since_epoch())
          .count();
    };
  AddPageRoutes();
  AddReadRoutes();
  AddControlRoutes();
  // Accounts and bans (/api/accounts, /api/bans) join the control routes once the server
  // keeps accounts.
  http_->afterRequest([](QHttpServerResponse&& response) {
    if (!response.hasHeader("Cache-Control")) response.setHeader("Cache-Control", "no-store");
    response.setHeader("X-Content-Type-Options", "nosniff");
    return std::move(response);
  });
  server_.SetEventSink([this](const TServerEvent& event) { OnEvent(event); });
  QObject::connect(&second_, &QTimer::timeout, [this] { OnSecond(); });
}

TAdminServer::~TAdminServer() {
  server_.SetEventSink(nullptr);
  second_.stop();
}

void TAdminServer::Start() {
  const TAdminAddress where = AdminAddressOf(settings_.Listen, "--admin-listen");
  const TAdminToken token = LoadAdminToken(settings_.Token, server_.GameDirectory());
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
  lastIn_ = server_.Traffic().ReceivedTotal();
  lastOut_ = server_.Traffic().SentTotal();
  second_.start(1000);
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
    return QHttpServerResponse(QByteArray(METRICS_CONTENT_TYPE),
                               QByteArray::fromStdString(ServerMetricsText(server_, counters_)));
  });
}

void TAdminServer::AddReadRoutes() {
  http_->route("/api/status", TMethod::Get, [this](const QHttpServerRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return Json(StatusJson(server_, rates_, std::chrono::system_clock::now()));
  });
  http_->route("/api/players", TMethod::Get, [this](const QHttpServerRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return Json(QJsonObject{{"players", PlayersJson(server_, std::chrono::system_clock::now())}});
  });
  http_->route("/api/map.png", TMethod::Get, [this](const QHttpServerRequest& request) {
    if (auto refusal = Refusal(request)) return std::move(*refusal);
    return MapPicture();
  });
  http_->route("/api/events", TMethod::Get,
               [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                 if (auto refusal = Refusal(request)) return refusal->write(std::move(responder));
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
      return Json(QJsonObject{{"paused", server_.Paused()}});
    };
  };
  http_->route("/api/pause", TMethod::Post, pause(true));
  http_->route("/api/resume", TMethod::Post, pause(false));
  http_->route("/api/shutdown", TMethod::Post,
               [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                 if (auto refusal = Refusal(request)) return refusal->write(std::move(responder));
                 server_.Log("Shutdown requested by the admin API (" + AddressOf(request) + ").");
                 QTcpSocket* socket = responder.socket();
                 Json(QJsonObject{{"shutting_down", true}}).write(std::move(responder));
                 socket->flush();
                 // After this request's turn of the event loop.
                 QTimer::singleShot(0, [this] {
                   if (shutdown_) shutdown_();
                 });
               });
}

QHttpServerResponse TAdminServer::Kick(uint32_t guid, const QHttpServerRequest& request) {
  for (const TSocketID& client : server_.Sockets()) {
    if (!client.InUse() || guid == 0 || client.GUID.load(std::memory_order_relaxed) != guid)
      continue;
    const QJsonObject kicked{{"kicked", static_cast<qint64>(guid)},
                             {"socket", client.Number},
                             {"name", QString::fromStdString(client.LoginRecord.UserName)}};
    server_.KickClient(client.Number, "the admin API (" + AddressOf(request) + ")");
    return Json(kicked);
  }
  return Error(TStatus::NotFound, "no player with GUID " + QString::number(guid));
}

QHttpServerResponse TAdminServer::MapPicture() {
  if (mapPng_.isEmpty()) {
    const TWorldData* world = server_.World();
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
  const uint64_t in = server_.Traffic().ReceivedTotal(), out = server_.Traffic().SentTotal();
  if (seconds > 0) {
    rates_.In = std::round(static_cast<double>(in - lastIn_) / seconds * 10) / 10;
    rates_.Out = std::round(static_cast<double>(out - lastOut_) / seconds * 10) / 10;
  }
  lastSample_ = now;
  lastIn_ = in;
  lastOut_ = out;
  if (++secondsQuiet_ >= KEEP_ALIVE_SECONDS) {
    secondsQuiet_ = 0;
    events_.KeepAlive();
  }
}

}  // namespace zq

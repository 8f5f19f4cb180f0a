#include "server/admin/AdminJson.h"

#include <QDateTime>

#include "accounts/NameText.h"
#include "platform/Clock.h"
#include "server/MapImage.h"
#include "server/ServerSettings.h"

namespace zq {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// A name as the operator sees and writes it: escaped where it is not UTF-8.
QString Name(const std::string& name) {
  return Q(ShowName(name));
}

template <typename... F>
struct TOverloaded : F... {
  using F::operator()...;
};
template <typename... F>
TOverloaded(F...) -> TOverloaded<F...>;

const char* GameEventName(TGameEvent::TKind kind) {
  switch (kind) {
    case TGameEvent::TKind::Join:
      return "join";
    case TGameEvent::TKind::Leave:
      return "leave";
    default:
      return "speech";
  }
}

}  // namespace

QString IsoTime(std::chrono::system_clock::time_point time) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString IsoTime(int64_t unixSeconds) {
  return IsoTime(std::chrono::system_clock::time_point(std::chrono::seconds(unixSeconds)));
}

QJsonObject StatusJson(const TServerStatus& status, const TMessageRates& rates,
                       std::chrono::system_clock::time_point now) {
  const bool running = status.Running;
  const double uptime =
      running ? std::chrono::duration<double>(now - status.StartedAt).count() : 0.0;
  return QJsonObject{
      {"version", VersionString},
      {"running", running},
      {"server_name", Q(status.ServerName)},
      {"identity", Q(status.GameIdentity)},
      {"started_at", running ? QJsonValue(IsoTime(status.StartedAt)) : QJsonValue()},
      {"uptime_seconds", std::floor(uptime * 1000) / 1000},
      {"paused", status.Paused},
      {"connections", status.Connected},
      {"peak_connections", status.PeakConnected},
      {"players", static_cast<qint64>(status.Players->size())},
      {"max_clients", status.MaxClients},
      {"tcp_port", status.ListeningPort},
      {"messages_in_per_second", rates.In},
      {"messages_out_per_second", rates.Out},
      {"map", QJsonObject{{"url", "/api/map.png"},
                          {"tiles_per_pixel", MAP_TILES_PER_PIXEL},
                          {"pixels", MAP_PIXELS},
                          {"world_tiles", WORLD_TILES}}},
  };
}

QJsonArray PlayersJson(const TServerStatus& status, TAccountService* accounts,
                       std::chrono::system_clock::time_point now) {
  QJsonArray out;
  const uint32_t tick = GetTickCount();
  for (const TPlayerSnapshotEntry& p : *status.Players) {
    QJsonObject player{{"guid", static_cast<qint64>(p.GUID)},
                       {"name", Name(p.Name)},
                       {"socket", p.SocketID},
                       {"x", p.X},
                       {"y", p.Y}};
    QJsonValue privileges, account;  // null: the file cannot be read now
    if (accounts) {
      try {
        const std::optional<TAccount> found = accounts->Reads().Find(p.Name);
        privileges =
            Q(std::string(PrivilegesName(found ? found->Privileges : TPrivileges::Player)));
        account = found.has_value();
      } catch (const std::exception&) {
      }
    }
    player.insert("privileges", privileges);
    player.insert("account", account);
    QJsonValue address, port, ping, since;
    if (const TConnectionStatus* client = status.Connection(p.SocketID)) {
      address = Q(client->Address);
      port = client->Port;
      if (client->RoundTripMs) ping = static_cast<qint64>(*client->RoundTripMs);
      // The admission tick is the tick count then; its age is exact modulo 2^32 ms.
      since = IsoTime(now - std::chrono::milliseconds(tick - client->AcceptedAt));
    }
    player.insert("address", address);
    player.insert("port", port);
    player.insert("ping_ms", ping);
    player.insert("connected_since", since);
    out.append(player);
  }
  return out;
}

QJsonObject AccountJson(const TAccount& account, bool inGame) {
  return QJsonObject{
      {"name", Name(account.Name)},
      {"privileges", Q(std::string(PrivilegesName(account.Privileges)))},
      {"password_set", account.HasPassword()},
      {"created", IsoTime(account.Created)},
      {"last_login", account.LastLogin ? QJsonValue(IsoTime(*account.LastLogin)) : QJsonValue()},
      {"last_address", account.LastAddress.empty() ? QJsonValue() : Q(account.LastAddress)},
      {"play_seconds", static_cast<qint64>(account.PlaySeconds)},
      {"in_game", inGame},
  };
}

QJsonObject BanJson(const TBan& ban, int64_t now) {
  return QJsonObject{
      {"target", Name(ban.Target.Text)},
      {"kind", Q(std::string(BanKindName(ban.Target.Kind)))},
      {"reason", Q(ban.Reason)},
      {"created", IsoTime(ban.Created)},
      {"expires", ban.Expires ? QJsonValue(IsoTime(*ban.Expires)) : QJsonValue()},
      {"active", ban.ActiveAt(now)},
  };
}

std::string EventName(const TServerEvent& event) {
  return std::visit(
      TOverloaded{[](const TLogLineEvent&) { return std::string("log"); },
                  [](const TGameEvent& e) { return std::string(GameEventName(e.Kind)); },
                  [](const TKickEvent&) { return std::string("kick"); }},
      event);
}

QJsonObject EventJson(const TServerEvent& event) {
  return std::visit(TOverloaded{[](const TLogLineEvent& e) {
                                  return QJsonObject{{"line", Q(e.Line)}};
                                },
                                [](const TGameEvent& e) {
                                  QJsonObject o{{"guid", static_cast<qint64>(e.GUID)},
                                                {"name", Name(e.Name)},
                                                {"socket", e.SocketID},
                                                {"x", e.X},
                                                {"y", e.Y}};
                                  if (e.Kind == TGameEvent::TKind::Speech)
                                    o.insert("text", Q(e.Text));
                                  return o;
                                },
                                [](const TKickEvent& e) {
                                  return QJsonObject{{"guid", static_cast<qint64>(e.GUID)},
                                                     {"name", Name(e.Name)},
                                                     {"socket", e.SocketID},
                                                     {"address", Q(e.Address)},
                                                     {"by", Q(e.By)}};
                                }},
                    event);
}

}  // namespace zq

// The admin API's JSON documents: the status, the player list and each event of the stream
// (names and fields in docs/ADMIN.md). Main thread (they read the server's tables).
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <string>

#include "server/ServerEvents.h"
#include "server/ZQOSrv.h"

namespace zq {

struct TMessageRates {
  double In = 0;  // messages a second, over the last second
  double Out = 0;
};

QJsonObject StatusJson(const TZQOServer& server, const TMessageRates& rates,
                       std::chrono::system_clock::time_point now);

// One object per player in the game, in the game's slot order. `now` turns each
// connection's admission tick into a time of day.
QJsonArray PlayersJson(const TZQOServer& server, std::chrono::system_clock::time_point now);

// The event's name in the stream ("log", "join", "leave", "speech", "kick") and its data.
std::string EventName(const TServerEvent& event);
QJsonObject EventJson(const TServerEvent& event);

// "2026-12-09T01:23:45.678Z".
QString IsoTime(std::chrono::system_clock::time_point time);

}  // namespace zq

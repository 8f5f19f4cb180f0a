// The admin API's JSON documents: the status, the player list, accounts, bans and each event
// of the stream (names and fields in docs/ADMIN.md). Main thread (the player list reads the
// accounts file's reading connection).
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <string>

#include "accounts/AccountService.h"
#include "accounts/BanList.h"
#include "server/ServerEvents.h"
#include "server/ServerStatus.h"

namespace zq {

struct TMessageRates {
  double In = 0;  // messages a second, over the last second
  double Out = 0;
};

QJsonObject StatusJson(const TServerStatus& status, const TMessageRates& rates,
                       std::chrono::system_clock::time_point now);

// One object per player in the game, in the game's slot order. `now` turns each
// connection's admission tick into a time of day. Privileges are the account's, as the
// window shows them: "Player" without an account, null when the file cannot be read (or
// `accounts` is null).
QJsonArray PlayersJson(const TServerStatus& status, TAccountService* accounts,
                       std::chrono::system_clock::time_point now);

// An account without its password hash: only whether it has one.
QJsonObject AccountJson(const TAccount& account, bool inGame);
// A ban; `now` (Unix seconds) tells whether it is still in force.
QJsonObject BanJson(const TBan& ban, int64_t now);

// The event's name in the stream ("log", "join", "leave", "speech", "kick") and its data.
std::string EventName(const TServerEvent& event);
QJsonObject EventJson(const TServerEvent& event);

// "2026-12-09T01:23:45.678Z".
QString IsoTime(std::chrono::system_clock::time_point time);
// The same for Unix seconds ("...:45.000Z").
QString IsoTime(int64_t unixSeconds);

}  // namespace zq

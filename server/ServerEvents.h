// What the server tells an observer (the admin API's event stream) as it happens: every log
// line as written, the game's joins, departures and speech, and kicks. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "game/GameEvents.h"

namespace zq {

struct TLogLineEvent {
  std::string Line;  // stamped, as written to the log file
};

struct TKickEvent {
  int32_t SocketID = 0;
  uint32_t GUID = 0;  // 0: the connection had no player
  std::string Name;   // the login name, if one was given
  std::string Address;
  std::string By;  // who kicked, in words ("the admin API (127.0.0.1)")
};

using TServerEvent = std::variant<TLogLineEvent, TGameEvent, TKickEvent>;
using TServerEventSink = std::function<void(const TServerEvent&)>;

}  // namespace zq

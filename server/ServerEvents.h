// What the server tells an observer (the admin API's event stream) as it happens: every log
// line as written, the game's joins, departures and speech, and kicks; and the teller that
// hands them to the one sink. Main thread, except where TEventTeller says otherwise.
#pragma once

#include <atomic>
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

// Hands each event to the sink, if one is set. It outlives every run of the server, so that
// an observer made before the start (the admin API) sees the start's lines.
class TEventTeller {
 public:
  void SetSink(TServerEventSink sink) {
    wanted_.store(static_cast<bool>(sink), std::memory_order_relaxed);
    sink_ = std::move(sink);
  }
  void Tell(const TServerEvent& event) const {
    if (sink_) sink_(event);
  }
  // Whether anybody listens; any thread (the game thread posts its events only then).
  bool Wanted() const { return wanted_.load(std::memory_order_relaxed); }

 private:
  TServerEventSink sink_;
  std::atomic<bool> wanted_{false};
};

}  // namespace zq

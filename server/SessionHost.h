// ISessionHost: what the sessions and administration ask of the connections, and no more:
// find a connection (by the name it plays under, or by the serial a result that crossed
// threads carries), close it with a word to the client, let it join, the pause, and the log.
// The connections implement it. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/LogLevel.h"
#include "protocol/ConnectionState.h"
#include "server/ServerCounters.h"

namespace zq {

class ISessionHost {
 public:
  virtual ~ISessionHost() = default;

  // The connection in the game under `name` (letter case of A to Z aside), or none.
  virtual TSocketID* FindPlayer(std::string_view name) = 0;
  // The connection admitted with `serial`, or none (it has closed meanwhile).
  virtual TSocketID* FindBySerial(uint64_t serial) = 0;
  // Sends `text` as ServerFull (nothing when empty), counts the close as a drop for
  // `reason` (not when none) and closes the connection; its disconnect runs before this
  // returns.
  virtual void Close(TSocketID& client, std::string_view text, std::optional<TDrop> reason) = 0;
  // The same, then logs "Client <ip> dropped due to <why>.".
  virtual void Kick(TSocketID& client, std::string_view text, const std::string& why,
                    TDrop reason) = 0;
  // The client, whose login was accepted, joins the game as `name`; its waiting input goes
  // on once the game has bound its GUID.
  virtual void Join(TSocketID& client, const std::string& name) = 0;
  // While paused, new players other than admins are refused with "Server is paused.".
  virtual bool Paused() const = 0;
  virtual void SetPaused(bool paused) = 0;
  virtual void Log(TLogLevel level, const std::string& line) = 0;
  void Log(const std::string& line) { Log(TLogLevel::Info, line); }
};

}  // namespace zq

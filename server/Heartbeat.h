// THeartbeat: the heartbeat cycle and the setup deadline over the socket table. Every cycle
// sends a BEAT to each client with a UDP endpoint and drops one that left five cycles in a row
// unacknowledged; the deadline drops a connection that has not announced its UDP port and
// started the game in time. Plain logic: the timers that drive it are the connections'.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "protocol/SocketTable.h"
#include "server/ServerCounters.h"

namespace zq {

constexpr uint32_t SETUP_CHECK_INTERVAL = 1000;  // ms between two looks at the setup deadlines

class THeartbeat {
 public:
  // Closes a client, logging "Client <ip> dropped due to <why>.", counted under `reason`.
  using DropFunction = std::function<void(TSocketID& client, const std::string& why, TDrop reason)>;

  THeartbeat(TSocketTable& sockets, TServerCounters& counters, DropFunction drop);

  // One heartbeat cycle.
  void Beat();
  // Drops every connection admitted `timeoutMs` or longer ago whose setup is not done; 0
  // switches the deadline off.
  void CheckSetupDeadlines(uint32_t timeoutMs);

 private:
  TSocketTable& sockets_;
  TServerCounters& counters_;
  DropFunction drop_;
};

}  // namespace zq

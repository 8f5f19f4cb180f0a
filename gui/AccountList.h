// TAccountList: the rows of the "Accounts" tab: every account of the accounts file, by name,
// with its privileges; for one in the game, its tile position, the connection's address and
// the last heartbeat round trip in ms (blank until the connection's first acknowledged beat);
// then the players in the game without an account. Names are shown as ShowName writes them,
// so that ReadName gives each row's name back as its bytes.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "accounts/AccountStore.h"
#include "server/ServerStatus.h"

namespace zq {

struct TAccountRow {
  uint32_t GUID = 0;  // 0: not in the game
  int32_t SocketID = 0;
  std::string Name;  // as shown
  std::string Privileges;
  std::string WX;
  std::string WY;
  std::string IP;
  std::string Ping;
  std::string Account;  // the account's name as stored; empty for a player without one

  bool operator==(const TAccountRow&) const = default;
};

// The rows for `accounts` (in their order) and the status's players (in theirs), with
// address and ping from their connections. A player whose connection the status does not
// have gets blank address and ping.
std::vector<TAccountRow> AccountRows(const std::vector<TAccount>& accounts,
                                     const TServerStatus& status);

}  // namespace zq

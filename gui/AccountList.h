// TAccountList: the rows of the "Accounts" tab, one per player in the game: name (control
// characters escaped), privileges ("Player"), tile position, the connection's address and the
// last heartbeat round trip in ms (blank until the connection's first acknowledged beat).
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/PlayerSnapshot.h"
#include "protocol/SocketTable.h"

namespace zq {

struct TAccountRow {
  uint32_t GUID = 0;
  int32_t SocketID = 0;
  std::string Name;
  std::string Privileges;
  std::string WX;
  std::string WY;
  std::string IP;
  std::string Ping;

  bool operator==(const TAccountRow&) const = default;
};

// The rows for `players`, in their order, with address and ping from the connection records.
// A player whose socket number is out of range gets blank address and ping.
std::vector<TAccountRow> AccountRows(const TPlayerSnapshotList& players,
                                     const TSocketTable& sockets);

}  // namespace zq

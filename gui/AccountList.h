// TAccountList: the rows of the "Accounts" tab, one per player in the game: name, privileges
// ("Player"), tile position, the connection's address and the last heartbeat round trip in
// ms (blank until the connection's first acknowledged beat). Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/PlayerSnapshot.h"
#include "protocol/ConnectionState.h"

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

class TAccountList {
 public:
  // The rows for `players`, in their order, with address and ping from the connection tables.
  // A player whose socket number is out of range gets blank address and ping.
  std::vector<TAccountRow> Rows(const TPlayerSnapshotList& players, const TServerTables& tables);

 private:
  // Per socket number: the connection ("address:port") whose round trip has been measured.
  PerSocket<std::string> measured_;
};

}  // namespace zq

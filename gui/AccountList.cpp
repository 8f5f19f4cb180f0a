#include "gui/AccountList.h"

#include "platform/TextEscape.h"

namespace zq {

std::vector<TAccountRow> AccountRows(const TPlayerSnapshotList& players,
                                     const TSocketTable& sockets) {
  std::vector<TAccountRow> rows;
  rows.reserve(players.size());
  for (const TPlayerSnapshotEntry& player : players) {
    TAccountRow row;
    row.GUID = player.GUID;
    row.SocketID = player.SocketID;
    row.Name = EscapeControl(player.Name);
    row.Privileges = "Player";
    row.WX = std::to_string(player.X);
    row.WY = std::to_string(player.Y);
    if (player.SocketID >= 1 && player.SocketID <= MAX_SOCKETS) {
      const TSocketID& client = sockets[player.SocketID];
      row.IP = client.Address;
      if (client.RoundTripKnown) row.Ping = std::to_string(client.HeartbeatRecord.RoundTrip);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace zq

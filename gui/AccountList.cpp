#include "gui/AccountList.h"

namespace zq {

std::vector<TAccountRow> TAccountList::Rows(const TPlayerSnapshotList& players,
                                            const TServerTables& tables) {
  // A connection counts as measured from its first acknowledged beat on; the sequence numbers
  // alone cannot tell later (after 255 comes 0), so the fact is kept per connection.
  for (int32_t s = 1; s <= MAX_SOCKETS; ++s) {
    const TSocketID& entry = tables.Sockets[s];
    const THeartbeatRecord& beat = tables.HeartbeatRecord[s];
    std::string key = entry.Address + ":" + std::to_string(entry.Port);
    if (entry.Address.empty() || !beat.UDPActive) {
      measured_[s].clear();
    } else if (measured_[s] != key) {
      measured_[s] = (beat.AckedSeq != 0 || beat.RoundTrip != 0) ? key : std::string();
    }
  }

  std::vector<TAccountRow> rows;
  rows.reserve(players.size());
  for (const TPlayerSnapshotEntry& player : players) {
    TAccountRow row;
    row.GUID = player.GUID;
    row.SocketID = player.SocketID;
    row.Name = player.Name;
    row.Privileges = "Player";
    row.WX = std::to_string(player.X);
    row.WY = std::to_string(player.Y);
    int32_t s = player.SocketID;
    if (s >= 1 && s <= MAX_SOCKETS) {
      row.IP = tables.Sockets[s].Address;
      if (!measured_[s].empty()) row.Ping = std::to_string(tables.HeartbeatRecord[s].RoundTrip);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace zq

#include "gui/AccountList.h"

#include "accounts/NameText.h"

namespace zq {
namespace {

void FillInGame(TAccountRow& row, const TPlayerSnapshotEntry& player, const TServerStatus& status) {
  row.GUID = player.GUID;
  row.SocketID = player.SocketID;
  row.WX = std::to_string(player.X);
  row.WY = std::to_string(player.Y);
  if (const TConnectionStatus* client = status.Connection(player.SocketID)) {
    row.IP = client->Address;
    if (client->RoundTripMs) row.Ping = std::to_string(*client->RoundTripMs);
  }
}

}  // namespace

std::vector<TAccountRow> AccountRows(const std::vector<TAccount>& accounts,
                                     const TServerStatus& status) {
  const TPlayerSnapshotList& players = *status.Players;
  std::vector<TAccountRow> rows;
  rows.reserve(accounts.size() + players.size());
  std::vector<bool> listed(players.size(), false);
  for (const TAccount& account : accounts) {
    TAccountRow row;
    row.Name = ShowName(account.Name);
    row.Account = account.Name;
    row.Privileges = std::string(PrivilegesName(account.Privileges));
    for (std::size_t i = 0; i < players.size(); ++i) {
      if (listed[i] || !SameName(players[i].Name, account.Name)) continue;
      FillInGame(row, players[i], status);
      listed[i] = true;
      break;
    }
    rows.push_back(std::move(row));
  }
  for (std::size_t i = 0; i < players.size(); ++i) {
    if (listed[i]) continue;
    TAccountRow row;
    row.Name = ShowName(players[i].Name);
    row.Privileges = "Player";
    FillInGame(row, players[i], status);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace zq

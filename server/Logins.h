// TLogins: the logins of one run. At connect, the address checks (a ban in force; whether an
// Admin last logged in from it). At StartGame, the hand-off to the login worker; its verdict
// back on the main thread, found by the connection's serial: a refusal, the take-over of a
// session of the same name, or the join. A connection whose login was accepted rejoins with the
// same name and password on that verdict, unchecked, for REJOIN_UNCHECKED_MS after the check,
// so that leaving and rejoining in a loop costs no hashes. The time each player spends in the
// game is added to its account. Stop refuses the logins still waiting. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "accounts/AccountService.h"
#include "protocol/SocketTable.h"
#include "server/SessionHost.h"

namespace zq {

// How long after its check an accepted login carries the connection's rejoins.
constexpr uint32_t REJOIN_UNCHECKED_MS = 10'000;

class TLogins {
 public:
  TLogins(TAccountService& accounts, ISessionHost& host);

  // For the connections.
  bool AddressBanned(const std::string& address);
  bool AdminAddress(const std::string& address);
  // StartGame of a client not in the game: its TCP input waits until the verdict is back.
  void CheckLogin(TSocketID& client);
  // Adds the time since the join to the account it plays under (on the job thread).
  void RecordPlayTime(const TSocketID& client);

  // The accounts service passes each verdict here.
  void OnLoginVerdict(TLoginVerdict verdict);

  // Shutdown: the players' time in the game is recorded, the accounts file's last writes are
  // done, and logins still waiting for a check are refused.
  void Stop(const TSocketTable& sockets);

 private:
  void RefuseLogin(TSocketID& client, const TLoginVerdict& verdict, std::string_view text);
  // True when the client's StartGame may rejoin on the login it holds.
  bool MayRejoin(const TSocketID& client) const;
  // The rejoin of connection `serial`, on its memo if it still holds, else checked.
  void Rejoin(uint64_t serial);
  // Hands the client's login to the worker (refused at once when its queue is full).
  void Submit(TSocketID& client);
  // The keyed digest a login memo keeps of a password.
  std::string Digest(std::string_view password) const;

  TAccountService& accounts_;
  ISessionHost& host_;
  std::string digestKey_;  // random, made for this run
};

}  // namespace zq

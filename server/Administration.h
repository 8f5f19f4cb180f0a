// TAdministration: what an operator does to a running server, from the window, the admin API
// or an Admin's commands in the game: kick a player, ban and lift bans (a new ban applies to
// the players already in), and add, change and remove accounts. Writes run on the job thread
// (passwords hashed there); `done` runs on the main thread once they have, with how it ended.
// `by` names who asked, for the log line ("the admin API (127.0.0.1)"); it may be empty.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "accounts/AccountService.h"
#include "accounts/BanList.h"
#include "protocol/SocketTable.h"
#include "server/ServerEvents.h"
#include "server/SessionHost.h"

namespace zq {

// How an operator's change to the accounts file ended; the text says it in words (empty when
// Done). Invalid: the request itself (a name, a missing password); Failed: the file.
enum class TEditOutcome { Done, Invalid, Exists, Missing, Failed };
using TEditDone = std::function<void(TEditOutcome outcome, const std::string& error)>;
// The same where only failure matters: an empty text, or what failed.
using TErrorDone = std::function<void(const std::string& error)>;

// An account to add or change.
struct TAccountEdit {
  std::string Name;
  std::string Password;                   // empty: kept (a new account needs one)
  std::optional<TPrivileges> Privileges;  // empty: kept (Player for a new account)
  bool Create = false;
  std::string By;
};

// A player kicked: who it was.
struct TKicked {
  int32_t SocketID = 0;
  uint32_t GUID = 0;
  std::string Name;  // the login name, if one was given
};

class TAdministration {
 public:
  TAdministration(TAccountService& accounts, ISessionHost& host, TSocketTable& sockets,
                  const TEventTeller& teller);

  // The accounts file (its reads on the main thread's own connection).
  TAccountService& Accounts() { return accounts_; }

  // Tells the client "You were kicked by an admin.", closes it, logs "Client <ip> kicked by
  // <by>." and tells the event sink; none when socket number s holds no connection.
  std::optional<TKicked> KickClient(int32_t s, const std::string& by);
  // The same for the player with `guid`; none when no connection holds it.
  std::optional<TKicked> KickPlayer(uint32_t guid, const std::string& by);
  // Closes the connection of socket number s while it still holds `guid` (0: none), without
  // a word to the client; false when the number has changed hands.
  bool DropClient(int32_t s, uint32_t guid);

  // Adds the ban, then kicks whoever it applies to.
  void AddBan(TBan ban, TErrorDone done, const std::string& by = {});
  // Lifts the ban on `target` (Missing when it has none).
  void RemoveBan(const TBanTarget& target, const std::string& by, TEditDone done);
  // Kicks every connection that a ban in force applies to (by its address, or by the name it
  // plays under); the bans are read on the job thread.
  void ApplyBans();

  // Adds the account (`Create`) or changes it, keeping what is not given. A player in the
  // game who loses Admin loses it at once; Admin is gained at the next login.
  void EditAccount(TAccountEdit edit, TEditDone done);
  // Removes the account; a player in the game under it is kicked.
  void DeleteAccount(const std::string& name, const std::string& by, TEditDone done);

 private:
  TAccountService& accounts_;
  ISessionHost& host_;
  TSocketTable& sockets_;
  const TEventTeller& teller_;
};

}  // namespace zq

// TAdministration: what an operator does to a running server, from the window, the admin API
// or an Admin's commands in the game: kick a player, ban and lift bans (a new ban applies to
// the players already in), and add, change and remove accounts. Writes run on the job thread
// (passwords hashed there); `done` runs on the main thread once they have, with how it ended.
// `by` names who asked, for the log line ("the admin API (127.0.0.1)"); it may be empty.
// It also keeps the players in step with the accounts file when others (the shell) change it:
// bans and withdrawn Admin privileges reach the players in the game.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
  // Reads again, on the job thread, what the accounts file says of every connection: one that
  // a ban in force applies to (by its address, or by the name it plays under or last logged in
  // under) is kicked; one whose account is no longer an Admin's (or is gone) goes on as a
  // Player, logged "<name> is no longer an Admin.".
  void RecheckPlayers();
  // Each heartbeat cycle: the same, when another connection to the file (the shell's) has
  // written to it since the last look (SQLite's data_version). One look at a time; a file that
  // cannot be read is logged once until it can be again.
  void NoticeFileChanges();
  // Whether `name`'s account is an Admin's now, read on the job thread: `done` runs on the main
  // thread with the answer, or with what failed (then `admin` is false).
  void CheckAdmin(const std::string& name,
                  std::function<void(bool admin, const std::string& error)> done);
  // Every connection that plays under `name`, or holds an accepted login under it, goes on as
  // a Player. True when one of them was an Admin.
  bool Demote(std::string_view name);

  // Adds the account (`Create`) or changes it, keeping what is not given. A player in the
  // game who loses Admin loses it at once (Demote); Admin is gained at the next login.
  void EditAccount(TAccountEdit edit, TEditDone done);
  // Removes the account; a player in the game under it is kicked.
  void DeleteAccount(const std::string& name, const std::string& by, TEditDone done);

 private:
  // What a look at the file found: connections to kick for a ban, and players (connection and
  // name) to demote.
  struct TRecheck {
    std::vector<uint64_t> Banned;
    std::vector<std::pair<uint64_t, std::string>> Demoted;
  };
  // A connection as the look at the file sees it.
  struct TConnected {
    uint64_t Serial;
    std::string Name;  // the name it plays under, or holds a login under; empty if neither
    std::string Address;
    bool Admin;
  };
  std::vector<TConnected> Connected() const;
  // Job thread.
  static TRecheck Recheck(TAccountStore& store, const std::vector<TConnected>& connected);
  void Apply(const TRecheck& found);

  TAccountService& accounts_;
  ISessionHost& host_;
  TSocketTable& sockets_;
  const TEventTeller& teller_;
  bool looking_ = false;     // a look at the file's changes is queued
  bool lookFailed_ = false;  // the last look failed, and said so
};

}  // namespace zq

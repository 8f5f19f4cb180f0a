// The answer to a login: accepted (with the name the player joins under, its privileges and
// whether the login created the account) or refused, with the text the refused client is
// sent and the log line the server writes. The texts live here and nowhere else.
// Plain values: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"

namespace zq {

enum class TLoginOutcome {
  Accepted,
  WrongNameOrPassword,  // also: no such account (registered), no password to claim with
  Banned,
  NameInGame,              // decided by the server, which knows who is in the game
  TooManyFailures,         // the address is blocked after failed logins
  TooManyFailuresForName,  // the name is blocked after failed logins, from any address
  TooManyLogins,           // the address has made too many logins that cost a hash
  ServerBusy,              // the login queue is full; decided by the server when Submit refuses
  CheckFailed,             // the accounts file could not be read or written, or hashing failed
  NameReadsAsAddress,      // a claim of a name that NewAccountNameProblem refuses so
};

// The text a refused client is sent: "Wrong name or password.", "You are banned.",
// "This name is in the game already.", and so on. Empty for Accepted.
std::string_view RefusalText(TLoginOutcome outcome);

struct TLoginVerdict {
  uint64_t Serial = 0;  // the request's connection serial, handed back
  TLoginOutcome Outcome = TLoginOutcome::WrongNameOrPassword;
  // The name the player joins under: the account's own spelling when there is an account,
  // else the name as sent, cut to MAX_NAME_LENGTH bytes.
  std::string Name;
  std::string Address;
  TPrivileges Privileges = TPrivileges::Player;
  bool AccountCreated = false;  // this login added the name to the accounts file
  std::optional<TBan> Ban;      // Banned: the ban that applies
  std::string Error;            // CheckFailed: what failed, naming the file (for the log)

  bool Accepted() const { return Outcome == TLoginOutcome::Accepted; }
};

// "Login refused for <name> from <address>: <refusal text>" (the text ends the sentence).
std::string RefusalLogLine(const TLoginVerdict& verdict);

}  // namespace zq

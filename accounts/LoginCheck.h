// TLoginCheck: decides a login by the server's --auth mode:
// - open: anything goes; the name is recorded (created, last login, address). Only an Admin
//   account's own password, when given, brings Admin privileges (and records the login).
// - claim: the first login with a new name creates its account with that password (or sets
//   the password of a name recorded without one); later logins need that password. A name
//   that reads as an address or range is never claimed (nor recorded by an open server).
// - registered: only accounts with a password may join, with that password.
// In every mode a banned address or name is refused first. In claim and registered modes,
// wrong passwords and unknown names count against the address (TLoginThrottle); a blocked
// address is refused before any hashing, except for an Admin account logging in from the
// address it last logged in from.
// "This name is in the game already." and taking over a session are the server's to decide.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/AccountStore.h"
#include "accounts/LoginThrottle.h"
#include "accounts/LoginVerdict.h"
#include "accounts/PasswordHash.h"

namespace zq {

enum class TAuthMode { Open, Claim, Registered };
// "open", "claim" or "registered"; empty for anything else.
std::optional<TAuthMode> ParseAuthMode(std::string_view text);
std::string_view AuthModeName(TAuthMode mode);

struct TLoginRequest {
  std::string Name;      // as the client sent it; cut to MAX_NAME_LENGTH bytes here
  std::string Password;  // never logged
  std::string Address;   // the connection's dotted IPv4 address
  uint64_t Serial = 0;   // the server's token for the connection, handed back in the verdict
};

class TLoginCheck {
 public:
  TLoginCheck(TAccountStore& store, const TPasswordHasher& hasher, TLoginThrottle& throttle,
              TAuthMode mode);

  // Any thread (the mode may change while logins are checked, e.g. on SIGHUP).
  void SetMode(TAuthMode mode) { mode_.store(mode); }
  TAuthMode Mode() const { return mode_.load(); }

  // Login worker thread: hashes, so it takes tens of milliseconds; never on the main or the
  // game thread. `now` is Unix seconds. A failing accounts file or hash gives CheckFailed.
  TLoginVerdict Decide(const TLoginRequest& request, int64_t now);

 private:
  void DecideOpen(const TLoginRequest& request, int64_t now, std::optional<TAccount> account,
                  TLoginVerdict& verdict);
  void DecideChecked(const TLoginRequest& request, int64_t now, TAuthMode mode,
                     std::optional<TAccount> account, TLoginVerdict& verdict);
  // The address is blocked, and this is not an Admin at its last address.
  bool Held(const TAccount& account, const std::string& address, int64_t now);
  void Accept(const TAccount& account, int64_t now, TLoginVerdict& verdict);
  void Refuse(int64_t now, TLoginVerdict& verdict);

  TAccountStore& store_;
  const TPasswordHasher& hasher_;
  TLoginThrottle& throttle_;
  std::atomic<TAuthMode> mode_;
};

}  // namespace zq

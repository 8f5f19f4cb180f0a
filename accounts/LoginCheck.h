// TLoginCheck: decides a login by the server's --auth mode:
// - open: anything goes; the name is recorded (created, last login, address). A name that
//   belongs to an Admin account with a password needs that password (and then brings Admin
//   privileges); without it the login is refused.
// - claim: the first login with a new name creates its account with that password (or sets
//   the password of a name recorded without one); later logins need that password. A name
//   that reads as an address or range is never claimed (nor recorded by an open server).
// - registered: only accounts with a password may join, with that password.
// In every mode a banned address or name is refused first. Wrong passwords and unknown names
// count against the address and the name, and each login that costs a hash against the
// address (TLoginLimits); a blocked address or name is refused before any hashing, Admins'
// as anyone's. In claim and registered modes every refusal for a wrong name or password costs
// one hash, against a dummy hash where there is no password to check, so an unknown name
// takes as long as a known one (a name no account can have, an empty one say, costs none).
// "This name is in the game already." and taking over a session are the server's to decide.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
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
  std::string Address;   // the connection's address
  uint64_t Serial = 0;   // the server's token for the connection, handed back in the verdict
};

class TLoginCheck {
 public:
  TLoginCheck(TAccountStore& store, const TPasswordHasher& hasher, TLoginLimits& limits,
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
  // True when a password may be hashed for this login now (counted against the address);
  // otherwise the verdict says which limit holds it.
  bool MayHash(int64_t now, TLoginVerdict& verdict);
  void Accept(const TAccount& account, int64_t now, TLoginVerdict& verdict);
  void Refuse(int64_t now, TLoginVerdict& verdict);
  // A hash of no account's password, made by the hasher on first use.
  const std::string& DummyHash();

  TAccountStore& store_;
  const TPasswordHasher& hasher_;
  TLoginLimits& limits_;
  std::atomic<TAuthMode> mode_;
  std::once_flag dummyMade_;
  std::string dummyHash_;
};

}  // namespace zq

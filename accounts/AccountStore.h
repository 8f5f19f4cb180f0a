// TAccountStore: the players' accounts in the accounts file: name (unique without regard to
// the letter case of A to Z), password hash, privileges, created, last login and address,
// total time in the game. Nothing is cached: each call reads or writes the file, so changes
// that another process makes are seen at the next call. Any thread: calls are serialised.
// Failures raise EInOutError naming the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountDb.h"

namespace zq {

enum class TPrivileges { Player, Admin };
std::string_view PrivilegesName(TPrivileges privileges);  // "Player", "Admin"
// "Player" or "Admin" in any letter case.
std::optional<TPrivileges> ParsePrivileges(std::string_view text);

// Names in the game are cut to this many bytes.
constexpr std::size_t MAX_NAME_LENGTH = 47;
// Empty when `name` can name an account: 1 to MAX_NAME_LENGTH bytes, no control
// characters, no space at either end. Otherwise what is wrong with it.
std::string AccountNameProblem(std::string_view name);
// Empty when a new account may take `name`, at a claim or a registration: the rules above,
// and the name must not read as an address or range (ReadsAsAddress), which a ban given
// without a kind would take it for. Otherwise what is wrong with it.
std::string NewAccountNameProblem(std::string_view name);
// What the window and the admin API answer to a new account without a password. Defined out of
// line: copied inline, the text would be built from overlapping pieces of constant data, which
// the package's spelling check reads as the typo "neeeds".
extern const char NEW_ACCOUNT_NEEDS_PASSWORD[];
// Names compared as accounts compare them: without regard to the letter case of A to Z.
bool SameName(std::string_view a, std::string_view b);

// Accounts file in the game directory unless --accounts names one; a relative --accounts
// path is taken from the game directory too, where the server runs.
constexpr const char* DEFAULT_ACCOUNTS_FILE = "zqosrv.db";
std::string AccountsFilePath(const std::string& gameDirectory, const std::string& accountsOption);

class TBanList;

struct TAccount {
  std::string Name;
  std::string PasswordHash;  // empty: no password yet (a name recorded by an open server)
  TPrivileges Privileges = TPrivileges::Player;
  int64_t Created = 0;  // Unix seconds, like every time here
  std::optional<int64_t> LastLogin;
  std::string LastAddress;
  int64_t PlaySeconds = 0;

  bool HasPassword() const { return !PasswordHash.empty(); }
};

class TAccountStore {
 public:
  // Opens the file, or with CreateIfMissing creates it; raises EInOutError naming it.
  explicit TAccountStore(std::string path,
                         TAccountDb::TOpen open = TAccountDb::TOpen::CreateIfMissing);
  ~TAccountStore();
  TAccountStore(const TAccountStore&) = delete;
  TAccountStore& operator=(const TAccountStore&) = delete;

  const std::string& Path() const { return db_.Path(); }
  // Opens the file again (SIGHUP); nothing else needs re-reading.
  void Reopen();
  // True when another connection (the shell's, another process's) has written to the file
  // since the last call, or since it was opened; this connection's own writes do not count.
  bool ChangedElsewhere();
  // The bans, in the same file.
  TBanList& Bans() { return *bans_; }

  // False when the name is taken in any letter case. Raises EConvertError for a name that
  // NewAccountNameProblem refuses.
  bool Add(const TAccount& account);
  // The account whose name equals `name` without regard to letter case.
  std::optional<TAccount> Find(std::string_view name);
  // Every account, by name without regard to letter case.
  std::vector<TAccount> List();
  // Each returns false when there is no such account.
  bool SetPasswordHash(std::string_view name, const std::string& hash);
  // Sets the hash only while the account has none; false when it has one or is missing.
  bool ClaimPassword(std::string_view name, const std::string& hash);
  bool SetPrivileges(std::string_view name, TPrivileges privileges);
  bool Remove(std::string_view name);
  bool RecordLogin(std::string_view name, int64_t time, std::string_view address);
  bool AddPlayTime(std::string_view name, int64_t seconds);
  // True when an Admin account with a password last logged in from `address`.
  bool AdminLastAt(std::string_view address);

 private:
  bool Update(const char* sql, std::string_view name, const std::function<void(TStatement&)>& bind);

  TAccountDb db_;
  std::unique_ptr<TBanList> bans_;
  int64_t seenVersion_ = 0;  // data_version at the last look; under db_.Lock()
};

}  // namespace zq

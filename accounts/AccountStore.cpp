#include "accounts/AccountStore.h"

#include <filesystem>

#include "accounts/BanList.h"
#include "accounts/IpRange.h"
#include "platform/Errors.h"

namespace zq {
namespace {

const char* const ACCOUNT_COLUMNS =
    "name, password_hash, privileges, created, last_login, last_address, play_seconds";

TAccount ReadAccount(const TStatement& row) {
  TAccount account;
  account.Name = row.Text(0);
  account.PasswordHash = row.Text(1);
  account.Privileges = ParsePrivileges(row.Text(2)).value_or(TPrivileges::Player);
  account.Created = row.Int(3);
  account.LastLogin = row.OptionalInt(4);
  account.LastAddress = row.Text(5);
  account.PlaySeconds = row.Int(6);
  return account;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view PrivilegesName(TPrivileges privileges) {
  return privileges == TPrivileges::Admin ? "Admin" : "Player";
}

std::optional<TPrivileges> ParsePrivileges(std::string_view text) {
  if (SameName(text, "Player")) return TPrivileges::Player;
  if (SameName(text, "Admin")) return TPrivileges::Admin;
  return std::nullopt;
}

std::string AccountNameProblem(std::string_view name) {
  if (name.empty()) return "a name cannot be empty";
  if (name.size() > MAX_NAME_LENGTH) {
    return "a name has at most " + std::to_string(MAX_NAME_LENGTH) + " characters";
  }
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return "a name cannot hold control characters";
    }
  }
  if (name.front() == ' ' || name.back() == ' ') return "a name cannot begin or end with a space";
  return {};
}

std::string NewAccountNameProblem(std::string_view name) {
  if (std::string problem = AccountNameProblem(name); !problem.empty()) return problem;
  if (ReadsAsAddress(name)) return "a name cannot read as an address or range";
  return {};
}

const char NEW_ACCOUNT_NEEDS_PASSWORD[] = "A new account needs a password.";

std::string AccountsFilePath(const std::string& gameDirectory, const std::string& accountsOption) {
  std::filesystem::path file = accountsOption.empty() ? DEFAULT_ACCOUNTS_FILE : accountsOption;
  if (file.is_absolute()) return file.string();
  return (std::filesystem::path(gameDirectory.empty() ? "." : gameDirectory) / file).string();
}

TAccountStore::TAccountStore(std::string path, TAccountDb::TOpen open)
    : db_(std::move(path), open),
      bans_(std::make_unique<TBanList>(db_)),
      seenVersion_(db_.DataVersion()) {}

TAccountStore::~TAccountStore() = default;

void TAccountStore::Reopen() {
  db_.Reopen();
  auto guard = db_.Lock();
  seenVersion_ = db_.DataVersion();  // a new connection counts afresh
}

bool TAccountStore::ChangedElsewhere() {
  auto guard = db_.Lock();
  const int64_t version = db_.DataVersion();
  const bool changed = version != seenVersion_;
  seenVersion_ = version;
  return changed;
}

bool TAccountStore::Add(const TAccount& account) {
  if (std::string problem = NewAccountNameProblem(account.Name); !problem.empty()) {
    throw EConvertError("Invalid account name \"" + account.Name + "\": " + problem);
  }
  auto guard = db_.Lock();
  TStatement insert(db_,
                    "INSERT INTO accounts (name, password_hash, privileges, created, last_login,"
                    " last_address, play_seconds) VALUES (?, ?, ?, ?, ?, ?, ?)"
                    " ON CONFLICT (name) DO NOTHING");
  insert.Bind(1, account.Name)
      .Bind(2, account.PasswordHash)
      .Bind(3, PrivilegesName(account.Privileges))
      .Bind(4, account.Created)
      .Bind(5, account.LastLogin)
      .Bind(6, account.LastAddress)
      .Bind(7, account.PlaySeconds)
      .Run();
  return db_.Changes() == 1;
}

std::optional<TAccount> TAccountStore::Find(std::string_view name) {
  auto guard = db_.Lock();
  TStatement query(
      db_, (std::string("SELECT ") + ACCOUNT_COLUMNS + " FROM accounts WHERE name = ?").c_str());
  query.Bind(1, name);
  if (!query.Step()) return std::nullopt;
  return ReadAccount(query);
}

std::vector<TAccount> TAccountStore::List() {
  auto guard = db_.Lock();
  TStatement query(
      db_,
      (std::string("SELECT ") + ACCOUNT_COLUMNS + " FROM accounts ORDER BY name, rowid").c_str());
  std::vector<TAccount> accounts;
  while (query.Step()) accounts.push_back(ReadAccount(query));
  return accounts;
}

bool TAccountStore::Update(const char* sql, std::string_view name,
                           const std::function<void(TStatement&)>& bind) {
  auto guard = db_.Lock();
  TStatement update(db_, sql);
  bind(update);
  update.Bind(1, name).Run();
  return db_.Changes() > 0;
}

bool TAccountStore::SetPasswordHash(std::string_view name, const std::string& hash) {
  return Update("UPDATE accounts SET password_hash = ?2 WHERE name = ?1", name,
                [&](TStatement& s) { s.Bind(2, hash); });
}

bool TAccountStore::ClaimPassword(std::string_view name, const std::string& hash) {
  return Update("UPDATE accounts SET password_hash = ?2 WHERE name = ?1 AND password_hash = ''",
                name, [&](TStatement& s) { s.Bind(2, hash); });
}

bool TAccountStore::SetPrivileges(std::string_view name, TPrivileges privileges) {
  return Update("UPDATE accounts SET privileges = ?2 WHERE name = ?1", name,
                [&](TStatement& s) { s.Bind(2, PrivilegesName(privileges)); });
}

bool TAccountStore::Remove(std::string_view name) {
  return Update("DELETE FROM accounts WHERE name = ?1", name, [](TStatement&) {});
}

bool TAccountStore::RecordLogin(std::string_view name, int64_t time, std::string_view address) {
  return Update("UPDATE accounts SET last_login = ?2, last_address = ?3 WHERE name = ?1", name,
                [&](TStatement& s) { s.Bind(2, time).Bind(3, address); });
}

bool TAccountStore::AddPlayTime(std::string_view name, int64_t seconds) {
  return Update("UPDATE accounts SET play_seconds = play_seconds + ?2 WHERE name = ?1", name,
                [&](TStatement& s) { s.Bind(2, seconds > 0 ? seconds : 0); });
}

bool TAccountStore::AdminLastAt(std::string_view address) {
  auto guard = db_.Lock();
  TStatement query(db_,
                   "SELECT 1 FROM accounts WHERE privileges = 'Admin' AND password_hash != ''"
                   " AND last_address = ? LIMIT 1");
  query.Bind(1, address);
  return query.Step();
}

}  // namespace zq

#include "accounts/LoginCheck.h"

#include <exception>

namespace zq {

std::optional<TAuthMode> ParseAuthMode(std::string_view text) {
  if (text == "open") return TAuthMode::Open;
  if (text == "claim") return TAuthMode::Claim;
  if (text == "registered") return TAuthMode::Registered;
  return std::nullopt;
}

std::string_view AuthModeName(TAuthMode mode) {
  switch (mode) {
    case TAuthMode::Claim:
      return "claim";
    case TAuthMode::Registered:
      return "registered";
    case TAuthMode::Open:
      break;
  }
  return "open";
}

namespace {

// The key of a name's failed logins: names compare without regard to the letter case of A to Z.
std::string NameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

}  // namespace

TLoginCheck::TLoginCheck(TAccountStore& store, const TPasswordHasher& hasher, TLoginLimits& limits,
                         TAuthMode mode)
    : store_(store), hasher_(hasher), limits_(limits), mode_(mode) {}

TLoginVerdict TLoginCheck::Decide(const TLoginRequest& request, int64_t now) {
  TLoginVerdict verdict;
  verdict.Serial = request.Serial;
  verdict.Address = request.Address;
  verdict.Name = request.Name.substr(0, MAX_NAME_LENGTH);
  try {
    verdict.Ban = store_.Bans().FindForAddress(request.Address, now);
    if (!verdict.Ban) verdict.Ban = store_.Bans().FindForName(verdict.Name, now);
    if (verdict.Ban) {
      verdict.Outcome = TLoginOutcome::Banned;
      return verdict;
    }
    std::optional<TAccount> account;
    if (AccountNameProblem(verdict.Name).empty()) account = store_.Find(verdict.Name);
    if (account) verdict.Name = account->Name;
    TAuthMode mode = Mode();
    if (mode == TAuthMode::Open) {
      DecideOpen(request, now, std::move(account), verdict);
    } else {
      DecideChecked(request, now, mode, std::move(account), verdict);
    }
  } catch (const std::exception& e) {
    verdict.Outcome = TLoginOutcome::CheckFailed;
    verdict.Privileges = TPrivileges::Player;
    verdict.Error = e.what();
  }
  return verdict;
}

void TLoginCheck::DecideOpen(const TLoginRequest& request, int64_t now,
                             std::optional<TAccount> account, TLoginVerdict& verdict) {
  verdict.Outcome = TLoginOutcome::Accepted;
  if (!AccountNameProblem(verdict.Name).empty()) return;  // joins as before, unrecorded
  if (!account) {
    if (!NewAccountNameProblem(verdict.Name).empty()) return;  // plays, but no account has it
    TAccount recorded;
    recorded.Name = verdict.Name;
    recorded.Created = now;
    verdict.AccountCreated = store_.Add(recorded);
  } else if (account->Privileges == TPrivileges::Admin && account->HasPassword()) {
    // An Admin's name is its own: nobody else may join under it and lock it out.
    if (!MayHash(now, verdict)) return;
    if (!hasher_.Verify(account->PasswordHash, request.Password)) return Refuse(now, verdict);
    verdict.Privileges = TPrivileges::Admin;
  }
  store_.RecordLogin(verdict.Name, now, request.Address);
}

void TLoginCheck::DecideChecked(const TLoginRequest& request, int64_t now, TAuthMode mode,
                                std::optional<TAccount> account, TLoginVerdict& verdict) {
  if (!AccountNameProblem(verdict.Name).empty()) return Refuse(now, verdict);
  const bool unclaimed = !account || !account->HasPassword();
  if (unclaimed && mode == TAuthMode::Claim && !request.Password.empty() &&
      !NewAccountNameProblem(verdict.Name).empty()) {
    verdict.Outcome = TLoginOutcome::NameReadsAsAddress;  // no claim, no hash, no guess
    return;
  }
  DummyHash();  // made before any refusal needs it, so that none costs more than another
  if (!MayHash(now, verdict)) return;
  if (unclaimed) {
    if (mode == TAuthMode::Registered || request.Password.empty()) {
      hasher_.Verify(DummyHash(), request.Password);  // as long as a wrong password takes
      return Refuse(now, verdict);
    }
    std::string hash = hasher_.Hash(request.Password);
    if (!account) {
      TAccount created;
      created.Name = verdict.Name;
      created.PasswordHash = hash;
      created.Created = now;
      if (store_.Add(created)) {
        verdict.AccountCreated = true;
        return Accept(created, now, verdict);
      }
    } else if (store_.ClaimPassword(account->Name, hash)) {
      return Accept(*account, now, verdict);
    }
    // Another login claimed the name meanwhile: this one needs the password it set.
    account = store_.Find(verdict.Name);
    if (!account || !account->HasPassword()) return Refuse(now, verdict);
    verdict.Name = account->Name;
  }
  if (!hasher_.Verify(account->PasswordHash, request.Password)) return Refuse(now, verdict);
  Accept(*account, now, verdict);
}

bool TLoginCheck::MayHash(int64_t now, TLoginVerdict& verdict) {
  if (limits_.FailuresByAddress.Blocked(verdict.Address, now)) {
    verdict.Outcome = TLoginOutcome::TooManyFailures;
  } else if (limits_.FailuresByName.Blocked(NameKey(verdict.Name), now)) {
    verdict.Outcome = TLoginOutcome::TooManyFailuresForName;
  } else if (limits_.LoginsByAddress.Blocked(verdict.Address, now)) {
    verdict.Outcome = TLoginOutcome::TooManyLogins;
  } else {
    limits_.LoginsByAddress.Count(verdict.Address, now);
    return true;
  }
  verdict.Privileges = TPrivileges::Player;
  return false;
}

void TLoginCheck::Accept(const TAccount& account, int64_t now, TLoginVerdict& verdict) {
  verdict.Outcome = TLoginOutcome::Accepted;
  verdict.Privileges = account.Privileges;
  store_.RecordLogin(account.Name, now, verdict.Address);
}

void TLoginCheck::Refuse(int64_t now, TLoginVerdict& verdict) {
  verdict.Outcome = TLoginOutcome::WrongNameOrPassword;
  verdict.Privileges = TPrivileges::Player;
  limits_.FailuresByAddress.Failed(verdict.Address, now);
  limits_.FailuresByName.Failed(NameKey(verdict.Name), now);
}

const std::string& TLoginCheck::DummyHash() {
  std::call_once(dummyMade_, [this] { dummyHash_ = hasher_.Hash("no account has this password"); });
  return dummyHash_;
}

}  // namespace zq

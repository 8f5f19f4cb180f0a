// The operator's changes to accounts (the window's Accounts tab, the admin API): hashing and
// writing on the job thread, the players in the game brought in line on the main thread.
#include <sodium.h>

#include "accounts/AdminTexts.h"
#include "platform/TextEscape.h"
#include "server/ZQOSrv.h"

namespace zq {
namespace {

std::string ByWhom(const std::string& by) {
  return by.empty() ? std::string() : " by " + by;
}

}  // namespace

void TZQOServer::SaveAccount(const std::string& name, std::string password, TPrivileges privileges,
                             bool create, std::function<void(const std::string& error)> done) {
  EditAccount(TAccountEdit{name, std::move(password), privileges, create, {}},
              [done](TEditOutcome, const std::string& error) { done(error); });
}

void TZQOServer::EditAccount(TAccountEdit edit, TEditDone done) {
  if (std::string problem = AccountNameProblem(edit.Name); !problem.empty())
    return done(TEditOutcome::Invalid, "Invalid account name: " + problem + ".");
  if (edit.Create && edit.Password.empty())
    return done(TEditOutcome::Invalid, "A new account needs a password.");
  const TPasswordHasher& hasher = accounts_->Hasher();
  accounts_->Run(
      [this, edit = std::move(edit), done, &hasher](TAccountStore& store) mutable {
        const std::string hash = edit.Password.empty() ? std::string() : hasher.Hash(edit.Password);
        sodium_memzero(edit.Password.data(), edit.Password.size());
        TPrivileges privileges = edit.Privileges.value_or(TPrivileges::Player);
        TEditOutcome outcome = TEditOutcome::Done;
        std::string error;
        if (edit.Create) {
          TAccount account;
          account.Name = edit.Name;
          account.PasswordHash = hash;
          account.Privileges = privileges;
          account.Created = SystemWallClock();
          if (!store.Add(account)) {
            outcome = TEditOutcome::Exists;
            error = "An account named " + edit.Name + " exists already.";
          }
        } else {
          bool found = true;
          if (edit.Privileges) {
            found = store.SetPrivileges(edit.Name, privileges);
          } else if (std::optional<TAccount> account = store.Find(edit.Name)) {
            privileges = account->Privileges;  // for the log line
          } else {
            found = false;
          }
          if (found && !hash.empty()) found = store.SetPasswordHash(edit.Name, hash);
          if (!found) {
            outcome = TEditOutcome::Missing;
            error = "There is no account named " + edit.Name + ".";
          }
        }
        return std::function<void()>([this, name = edit.Name, by = edit.By, create = edit.Create,
                                      privileges, done, outcome, error] {
          if (outcome == TEditOutcome::Done) {
            Log(std::string(create ? "Account " : "Account changed: ") + EscapeControl(name) +
                (create ? " added (" : " (") + std::string(PrivilegesName(privileges)) + ")" +
                ByWhom(by) + ".");
            TSocketID* player = FindPlayer(name);
            if (player && privileges != TPrivileges::Admin) player->Admin = false;
          }
          done(outcome, error);
        });
      },
      [done](const std::string& error) { done(TEditOutcome::Failed, error); });
}

void TZQOServer::DeleteAccount(const std::string& name,
                               std::function<void(const std::string& error)> done) {
  DeleteAccount(name, {}, [done](TEditOutcome, const std::string& error) { done(error); });
}

void TZQOServer::DeleteAccount(const std::string& name, const std::string& by, TEditDone done) {
  accounts_->Run(
      [this, name, by, done](TAccountStore& store) {
        const bool removed = store.Remove(name);
        return std::function<void()>([this, name, by, done, removed] {
          if (!removed)
            return done(TEditOutcome::Missing, "There is no account named " + name + ".");
          Log("Account " + EscapeControl(name) + " removed" + ByWhom(by) + ".");
          if (TSocketID* player = FindPlayer(name))
            Kick(*player, AdminText::KickedPlayer(), "removal of its account", "account_removed");
          done(TEditOutcome::Done, {});
        });
      },
      [done](const std::string& error) { done(TEditOutcome::Failed, error); });
}

void TZQOServer::RemoveBan(const TBanTarget& target, const std::string& by, TEditDone done) {
  accounts_->Run(
      [this, target, by, done](TAccountStore& store) {
        const bool removed = store.Bans().Remove(target);
        return std::function<void()>([this, text = target.Text, by, done, removed] {
          if (!removed) return done(TEditOutcome::Missing, text + " is not banned.");
          Log("Ban on " + EscapeControl(text) + " lifted" + ByWhom(by) + ".");
          done(TEditOutcome::Done, {});
        });
      },
      [done](const std::string& error) { done(TEditOutcome::Failed, error); });
}

}  // namespace zq

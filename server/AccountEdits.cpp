// The operator's changes to accounts (the window's Accounts tab): hashing and writing on the
// job thread, the players in the game brought in line on the main thread.
#include <sodium.h>

#include "accounts/AdminTexts.h"
#include "platform/TextEscape.h"
#include "server/ZQOSrv.h"

namespace zq {

void TZQOServer::SaveAccount(const std::string& name, std::string password, TPrivileges privileges,
                             bool create, std::function<void(const std::string& error)> done) {
  if (std::string problem = AccountNameProblem(name); !problem.empty())
    return done("Invalid account name: " + problem + ".");
  if (create && password.empty()) return done("A new account needs a password.");
  const TPasswordHasher& hasher = accounts_->Hasher();
  accounts_->Run(
      [this, name, password = std::move(password), privileges, create, done,
       &hasher](TAccountStore& store) mutable {
        std::string hash = password.empty() ? std::string() : hasher.Hash(password);
        sodium_memzero(password.data(), password.size());
        std::string error;
        if (create) {
          TAccount account;
          account.Name = name;
          account.PasswordHash = hash;
          account.Privileges = privileges;
          account.Created = SystemWallClock();
          if (!store.Add(account)) error = "An account named " + name + " exists already.";
        } else if (!store.SetPrivileges(name, privileges) ||
                   (!hash.empty() && !store.SetPasswordHash(name, hash))) {
          error = "There is no account named " + name + ".";
        }
        return std::function<void()>([this, name, privileges, create, done, error] {
          if (error.empty()) {
            Log(std::string(create ? "Account " : "Account changed: ") + EscapeControl(name) +
                (create ? " added (" : " (") + std::string(PrivilegesName(privileges)) + ").");
            TSocketID* player = FindPlayer(name);
            if (player && privileges != TPrivileges::Admin) player->Admin = false;
          }
          done(error);
        });
      },
      done);
}

void TZQOServer::DeleteAccount(const std::string& name,
                               std::function<void(const std::string& error)> done) {
  accounts_->Run(
      [this, name, done](TAccountStore& store) {
        const bool removed = store.Remove(name);
        return std::function<void()>([this, name, done, removed] {
          if (!removed) return done("There is no account named " + name + ".");
          Log("Account " + EscapeControl(name) + " removed.");
          if (TSocketID* player = FindPlayer(name))
            Kick(*player, AdminText::KickedPlayer(), "removal of its account", "account_removed");
          done({});
        });
      },
      done);
}

}  // namespace zq

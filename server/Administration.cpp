#include "server/Administration.h"

#include <sodium.h>

#include "accounts/AccountStore.h"
#include "accounts/AdminTexts.h"
#include "accounts/LoginVerdict.h"
#include "accounts/NameText.h"
#include "accounts/Times.h"
#include "platform/TextEscape.h"

namespace zq {
namespace {

std::string ByWhom(const std::string& by) {
  return by.empty() ? std::string() : " by " + by;
}

}  // namespace

TAdministration::TAdministration(TAccountService& accounts, ISessionHost& host,
                                 TSocketTable& sockets, const TEventTeller& teller)
    : accounts_(accounts), host_(host), sockets_(sockets), teller_(teller) {}

// --- Kicks -------------------------------------------------------------------------------

std::optional<TKicked> TAdministration::KickClient(int32_t s, const std::string& by) {
  if (s < 1 || s > MAX_SOCKETS || !sockets_[s].Socket) return std::nullopt;
  TSocketID& client = sockets_[s];
  const TKicked kicked{s, client.GUID.load(std::memory_order_relaxed), client.LoginRecord.UserName};
  const std::string address = client.Address;
  host_.Close(client, AdminText::KickedPlayer(), TDrop::Kick);  // its disconnect line comes first
  host_.Log(TLogLevel::Notice, "Client " + address + " kicked by " + by + ".");
  teller_.Tell(TKickEvent{kicked.SocketID, kicked.GUID, kicked.Name, address, by});
  return kicked;
}

std::optional<TKicked> TAdministration::KickPlayer(uint32_t guid, const std::string& by) {
  const TSocketID* client = sockets_.FindByGUID(guid);
  if (!client) return std::nullopt;
  return KickClient(client->Number, by);
}

bool TAdministration::DropClient(int32_t s, uint32_t guid) {
  if (s < 1 || s > MAX_SOCKETS || sockets_.GuidOf(s) != guid) return false;
  TSocketID& client = sockets_[s];
  if (!client.Socket) return false;
  host_.Close(client, {}, std::nullopt);
  return true;
}

// --- Bans --------------------------------------------------------------------------------

std::vector<TAdministration::TConnected> TAdministration::Connected() const {
  std::vector<TConnected> connected;
  for (const TSocketID& client : sockets_) {
    if (!client.InUse()) continue;
    const TLoginMemo& memo = client.LoginMemo;
    std::string name = client.InGame() ? client.PlayerName : memo.Valid ? memo.PlayerName : "";
    connected.push_back({client.Serial, std::move(name), client.Address,
                         client.Admin || (memo.Valid && memo.Admin)});
  }
  return connected;
}

TAdministration::TRecheck TAdministration::Recheck(TAccountStore& store,
                                                   const std::vector<TConnected>& connected) {
  const int64_t now = SystemWallClock();
  TRecheck found;
  for (const TConnected& c : connected) {
    if (store.Bans().FindForAddress(c.Address, now) ||
        (!c.Name.empty() && store.Bans().FindForName(c.Name, now))) {
      found.Banned.push_back(c.Serial);
    } else if (c.Admin) {
      std::optional<TAccount> account = store.Find(c.Name);
      if (!account || account->Privileges != TPrivileges::Admin)
        found.Demoted.emplace_back(c.Serial, c.Name);
    }
  }
  return found;
}

void TAdministration::Apply(const TRecheck& found) {
  for (uint64_t serial : found.Banned) {
    if (TSocketID* client = host_.FindBySerial(serial))
      host_.Kick(*client, RefusalText(TLoginOutcome::Banned), "ban", TDrop::Ban);
  }
  for (const auto& [serial, name] : found.Demoted) {
    if (host_.FindBySerial(serial) && Demote(name))
      host_.Log(TLogLevel::Notice, EscapeControl(name) + " is no longer an Admin.");
  }
}

void TAdministration::RecheckPlayers() {
  accounts_.Run(
      [this, connected = Connected()](TAccountStore& store) {
        return std::function<void()>([this, found = Recheck(store, connected)] { Apply(found); });
      },
      [this](const std::string& error) {
        host_.Log(TLogLevel::Error, "Cannot check the bans: " + error);
      });
}

void TAdministration::NoticeFileChanges() {
  if (looking_) return;  // the job thread has not come to the last look yet
  looking_ = true;
  accounts_.Run(
      [this, connected = Connected()](TAccountStore& store) {
        TRecheck found;
        if (store.ChangedElsewhere()) found = Recheck(store, connected);
        return std::function<void()>([this, found] {
          looking_ = lookFailed_ = false;
          Apply(found);
        });
      },
      [this](const std::string& error) {
        looking_ = false;
        if (!lookFailed_) host_.Log(TLogLevel::Error, "Cannot check the bans: " + error);
        lookFailed_ = true;
      });
}

void TAdministration::CheckAdmin(const std::string& name,
                                 std::function<void(bool admin, const std::string& error)> done) {
  accounts_.Run(
      [name, done](TAccountStore& store) {
        std::optional<TAccount> account = store.Find(name);
        const bool admin = account && account->Privileges == TPrivileges::Admin;
        return std::function<void()>([done, admin] { done(admin, {}); });
      },
      [done](const std::string& error) { done(false, error); });
}

bool TAdministration::Demote(std::string_view name) {
  bool was = false;
  for (TSocketID& client : sockets_) {
    if (!client.InUse()) continue;
    if (client.InGame() && SameName(client.PlayerName, name)) {
      was = was || client.Admin;
      client.Admin = false;
    }
    TLoginMemo& memo = client.LoginMemo;
    if (memo.Valid && SameName(memo.PlayerName, name)) {
      was = was || memo.Admin;
      memo.Admin = false;
    }
  }
  return was;
}

void TAdministration::AddBan(TBan ban, TErrorDone done, const std::string& by) {
  accounts_.Run(
      [this, ban, done, by](TAccountStore& store) {
        store.Bans().Add(ban);
        return std::function<void()>([this, done, by, target = ban.Target.Text] {
          host_.Log(TLogLevel::Notice,
                    "Ban on " + EscapeControl(target) + " added" + ByWhom(by) + ".");
          RecheckPlayers();
          if (done) done({});
        });
      },
      [done](const std::string& error) {
        if (done) done(error);
      });
}

void TAdministration::RemoveBan(const TBanTarget& target, const std::string& by, TEditDone done) {
  accounts_.Run(
      [this, target, by, done](TAccountStore& store) {
        const bool removed = store.Bans().Remove(target);
        return std::function<void()>([this, text = target.Text, by, done, removed] {
          if (!removed) return done(TEditOutcome::Missing, ShowName(text) + " is not banned.");
          host_.Log(TLogLevel::Notice,
                    "Ban on " + EscapeControl(text) + " lifted" + ByWhom(by) + ".");
          done(TEditOutcome::Done, {});
        });
      },
      [done](const std::string& error) { done(TEditOutcome::Failed, error); });
}

// --- Accounts ----------------------------------------------------------------------------

void TAdministration::EditAccount(TAccountEdit edit, TEditDone done) {
  if (std::string problem =
          edit.Create ? NewAccountNameProblem(edit.Name) : AccountNameProblem(edit.Name);
      !problem.empty())
    return done(TEditOutcome::Invalid, "Invalid account name: " + problem + ".");
  if (edit.Create && edit.Password.empty())
    return done(TEditOutcome::Invalid, NEW_ACCOUNT_NEEDS_PASSWORD);
  const TPasswordHasher& hasher = accounts_.Hasher();
  accounts_.Run(
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
            host_.Log(TLogLevel::Notice, std::string(create ? "Account " : "Account changed: ") +
                                             EscapeControl(name) + (create ? " added (" : " (") +
                                             std::string(PrivilegesName(privileges)) + ")" +
                                             ByWhom(by) + ".");
            if (privileges != TPrivileges::Admin) Demote(name);
          }
          done(outcome, error);
        });
      },
      [done](const std::string& error) { done(TEditOutcome::Failed, error); });
}

void TAdministration::DeleteAccount(const std::string& name, const std::string& by,
                                    TEditDone done) {
  accounts_.Run(
      [this, name, by, done](TAccountStore& store) {
        const bool removed = store.Remove(name);
        return std::function<void()>([this, name, by, done, removed] {
          if (!removed)
            return done(TEditOutcome::Missing, "There is no account named " + name + ".");
          host_.Log(TLogLevel::Notice,
                    "Account " + EscapeControl(name) + " removed" + ByWhom(by) + ".");
          for (TSocketID& client : sockets_)  // a login held under it is not rejoined on
            if (client.LoginMemo.Valid && SameName(client.LoginMemo.PlayerName, name))
              client.LoginMemo = TLoginMemo{};
          if (TSocketID* player = host_.FindPlayer(name))
            host_.Kick(*player, AdminText::KickedPlayer(), "removal of its account",
                       TDrop::AccountRemoved);
          done(TEditOutcome::Done, {});
        });
      },
      [done](const std::string& error) { done(TEditOutcome::Failed, error); });
}

}  // namespace zq

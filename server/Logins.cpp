// Logins: the address checks at connect, the hand-off of StartGame to the login worker and
// its verdict back on the main thread, take-over of a session, refusals, the time in the
// game, and bans applied to connected players.
#include <chrono>

#include "platform/TextEscape.h"
#include "protocol/MessageCodec.h"
#include "protocol/Sending.h"
#include "server/ZQOSrv.h"

namespace zq {
namespace {

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TSocketID* TZQOServer::FindBySerial(uint64_t serial) {
  for (TSocketID& client : sockets_)
    if (client.InUse() && client.Serial == serial) return &client;
  return nullptr;
}

TSocketID* TZQOServer::FindPlayer(std::string_view name) {
  for (TSocketID& client : sockets_)
    if (client.InUse() && client.InGame() && SameName(client.PlayerName, name)) return &client;
  return nullptr;
}

// Reads on the main thread's own connection: under WAL they do not wait for writers. A file
// that cannot be read lets the connection in; its login is checked all the same.
std::optional<TBan> TZQOServer::AddressBan(const std::string& address) {
  if (!accounts_) return std::nullopt;
  try {
    return accounts_->Reads().Bans().FindForAddress(address, SystemWallClock());
  } catch (const std::exception& e) {
    Log(std::string("Cannot check the bans: ") + e.what());
    return std::nullopt;
  }
}

bool TZQOServer::AdminAddress(const std::string& address) {
  if (!accounts_) return false;
  try {
    return accounts_->Reads().AdminLastAt(address);
  } catch (const std::exception& e) {
    Log(std::string("Cannot read the accounts: ") + e.what());
    return false;
  }
}

void TZQOServer::Kick(TSocketID& client, const std::string& text, const std::string& why,
                      const std::string& label) {
  SendTCP(client, Frame(ServerFull, EncodeServerFull(text)));
  DropFor(client, why, label);
}

// StartGame of a client not in the game: its TCP input waits until the verdict is back.
void TZQOServer::CheckLogin(TSocketID& client) {
  TLoginRequest request{client.LoginRecord.UserName, client.LoginRecord.Password, client.Address,
                        client.Serial};
  if (accounts_->SubmitLogin(std::move(request))) return;
  TLoginVerdict busy;
  busy.Outcome = TLoginOutcome::ServerBusy;
  RefuseLogin(client, busy, RefusalText(busy.Outcome));
}

void TZQOServer::OnLoginVerdict(TLoginVerdict verdict) {
  TSocketID* client = FindBySerial(verdict.Serial);
  if (!client || client->Stage != TStage::LoginPending)
    return;  // the connection has closed meanwhile
  const TAuthMode mode = accounts_->Mode();
  if (verdict.Outcome == TLoginOutcome::CheckFailed) {
    Log("Cannot check the login of " + EscapeControl(verdict.Name) + ": " + verdict.Error);
    // An open server never turned anybody away for its accounts file.
    if (mode == TAuthMode::Open) {
      verdict.Outcome = TLoginOutcome::Accepted;
      verdict.Privileges = TPrivileges::Player;
    }
  }
  if (!verdict.Accepted()) return RefuseLogin(*client, verdict, RefusalText(verdict.Outcome));
  const bool admin = verdict.Privileges == TPrivileges::Admin;
  if (!admin && paused_) return RefuseLogin(*client, verdict, "Server is paused.");
  if (!admin && client->AdminOnly)
    return RefuseLogin(*client, verdict, "Too many connections from this address.");

  if (TSocketID* other = verdict.Name.empty() ? nullptr : FindPlayer(verdict.Name)) {
    if (mode == TAuthMode::Open)
      return RefuseLogin(*client, verdict, RefusalText(TLoginOutcome::NameInGame));
    // The account's owner is back: a ghost session does not lock it out.
    Log(EscapeControl(verdict.Name) + " logged in again from " + client->Address +
        "; the connection from " + other->Address + ":" + std::to_string(other->Port) +
        " is closed.");
    if (other->Socket) other->Socket->Close();
  }
  if (verdict.AccountCreated && mode != TAuthMode::Open)
    Log("Account " + EscapeControl(verdict.Name) + " created.");
  client->Admin = admin;
  client->JoinedAt = SteadyMs();
  handler_->Join(*client, verdict.Name);  // its waiting input goes on once its GUID is bound
}

void TZQOServer::RefuseLogin(TSocketID& client, const TLoginVerdict& verdict,
                             std::string_view text) {
  client.Stage = TStage::Greeted;
  const std::string name =
      verdict.Name.empty() ? client.LoginRecord.UserName.substr(0, MAX_NAME_LENGTH) : verdict.Name;
  Log("Login refused for " + EscapeControl(name) + " from " + client.Address + ": " +
      std::string(text));
  SendTCP(client, Frame(ServerFull, EncodeServerFull(text)));
  if (client.Socket) client.Socket->Close();
}

void TZQOServer::RecordPlayTime(const TSocketID& client) {
  if (!accounts_ || client.PlayerName.empty()) return;
  const int64_t seconds = (SteadyMs() - client.JoinedAt) / 1000;
  accounts_->Run(
      [name = client.PlayerName, seconds](TAccountStore& store) {
        store.AddPlayTime(name, seconds);  // a name without an account records nothing
        return std::function<void()>();
      },
      [this](const std::string& error) { Log("Cannot record the time in the game: " + error); });
}

void TZQOServer::ApplyBans() {
  if (!accounts_) return;
  struct TConnected {
    uint64_t Serial;
    std::string Name;  // empty until in the game
    std::string Address;
  };
  std::vector<TConnected> connected;
  for (const TSocketID& client : sockets_)
    if (client.InUse()) connected.push_back({client.Serial, client.PlayerName, client.Address});
  accounts_->Run(
      [this, connected](TAccountStore& store) {
        const int64_t now = SystemWallClock();
        std::vector<uint64_t> banned;
        for (const TConnected& c : connected) {
          if (store.Bans().FindForAddress(c.Address, now) ||
              (!c.Name.empty() && store.Bans().FindForName(c.Name, now)))
            banned.push_back(c.Serial);
        }
        return std::function<void()>([this, banned] {
          for (uint64_t serial : banned) {
            if (TSocketID* client = FindBySerial(serial))
              Kick(*client, std::string(RefusalText(TLoginOutcome::Banned)), "ban", "ban");
          }
        });
      },
      [this](const std::string& error) { Log("Cannot check the bans: " + error); });
}

void TZQOServer::AddBan(TBan ban, std::function<void(const std::string& error)> done,
                        const std::string& by) {
  accounts_->Run(
      [this, ban, done, by](TAccountStore& store) {
        store.Bans().Add(ban);
        return std::function<void()>([this, done, by, target = ban.Target.Text] {
          Log("Ban on " + EscapeControl(target) + " added" + (by.empty() ? "" : " by " + by) + ".");
          ApplyBans();
          if (done) done({});
        });
      },
      [done](const std::string& error) {
        if (done) done(error);
      });
}

}  // namespace zq

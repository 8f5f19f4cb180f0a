#include "server/Logins.h"

#include <chrono>

#include "accounts/Times.h"
#include "platform/TextEscape.h"
#include "protocol/MessageCodec.h"
#include "server/Connections.h"

namespace zq {
namespace {

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TLogins::TLogins(TAccountService& accounts, ISessionHost& host)
    : accounts_(accounts), host_(host) {}

// Reads on the main thread's own connection: under WAL they do not wait for writers. A file
// that cannot be read lets the connection in; its login is checked all the same.
bool TLogins::AddressBanned(const std::string& address) {
  try {
    return accounts_.Reads().Bans().FindForAddress(address, SystemWallClock()).has_value();
  } catch (const std::exception& e) {
    host_.Log(std::string("Cannot check the bans: ") + e.what());
    return false;
  }
}

bool TLogins::AdminAddress(const std::string& address) {
  try {
    return accounts_.Reads().AdminLastAt(address);
  } catch (const std::exception& e) {
    host_.Log(std::string("Cannot read the accounts: ") + e.what());
    return false;
  }
}

void TLogins::CheckLogin(TSocketID& client) {
  TLoginRequest request{client.LoginRecord.UserName, client.LoginRecord.Password, client.Address,
                        client.Serial};
  if (accounts_.SubmitLogin(std::move(request))) return;
  TLoginVerdict busy;
  busy.Outcome = TLoginOutcome::ServerBusy;
  RefuseLogin(client, busy, RefusalText(busy.Outcome));
}

void TLogins::OnLoginVerdict(TLoginVerdict verdict) {
  TSocketID* client = host_.FindBySerial(verdict.Serial);
  if (!client || client->Stage != TStage::LoginPending) return;  // it has closed meanwhile
  const TAuthMode mode = accounts_.Mode();
  if (verdict.Outcome == TLoginOutcome::CheckFailed) {
    host_.Log("Cannot check the login of " + EscapeControl(verdict.Name) + ": " + verdict.Error);
    // An open server never turned anybody away for its accounts file.
    if (mode == TAuthMode::Open) {
      verdict.Outcome = TLoginOutcome::Accepted;
      verdict.Privileges = TPrivileges::Player;
    }
  }
  if (!verdict.Accepted()) return RefuseLogin(*client, verdict, RefusalText(verdict.Outcome));
  const bool admin = verdict.Privileges == TPrivileges::Admin;
  if (!admin && host_.Paused()) return RefuseLogin(*client, verdict, "Server is paused.");
  if (!admin && client->AdminOnly) return RefuseLogin(*client, verdict, TOO_MANY_FROM_ADDRESS);

  if (TSocketID* other = verdict.Name.empty() ? nullptr : host_.FindPlayer(verdict.Name)) {
    if (mode == TAuthMode::Open)
      return RefuseLogin(*client, verdict, RefusalText(TLoginOutcome::NameInGame));
    // The account's owner is back: a ghost session does not lock it out.
    host_.Log(EscapeControl(verdict.Name) + " logged in again from " + client->Address +
              "; the connection from " + other->Address + ":" + std::to_string(other->Port) +
              " is closed.");
    host_.Close(*other, {}, {});
  }
  if (verdict.AccountCreated && mode != TAuthMode::Open)
    host_.Log("Account " + EscapeControl(verdict.Name) + " created.");
  client->Admin = admin;
  client->JoinedAt = SteadyMs();
  host_.Join(*client, verdict.Name);  // its waiting input goes on once its GUID is bound
}

void TLogins::RefuseLogin(TSocketID& client, const TLoginVerdict& verdict, std::string_view text) {
  client.Stage = TStage::Greeted;
  const std::string name =
      verdict.Name.empty() ? client.LoginRecord.UserName.substr(0, MAX_NAME_LENGTH) : verdict.Name;
  host_.Log("Login refused for " + EscapeControl(name) + " from " + client.Address + ": " +
            std::string(text));
  host_.Close(client, text, {});
}

void TLogins::RecordPlayTime(const TSocketID& client) {
  if (client.PlayerName.empty()) return;
  const int64_t seconds = (SteadyMs() - client.JoinedAt) / 1000;
  accounts_.Run(
      [name = client.PlayerName, seconds](TAccountStore& store) {
        store.AddPlayTime(name, seconds);  // a name without an account records nothing
        return std::function<void()>();
      },
      [this](const std::string& error) {
        host_.Log("Cannot record the time in the game: " + error);
      });
}

void TLogins::Stop(const TSocketTable& sockets) {
  for (const TSocketID& client : sockets)
    if (client.InGame()) RecordPlayTime(client);
  TLoginVerdict unchecked;
  unchecked.Outcome = TLoginOutcome::CheckFailed;
  for (uint64_t serial : accounts_.Stop()) {
    if (TSocketID* client = host_.FindBySerial(serial))
      RefuseLogin(*client, unchecked, RefusalText(unchecked.Outcome));
  }
}

}  // namespace zq

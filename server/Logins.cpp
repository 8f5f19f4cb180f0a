#include "server/Logins.h"

#include <sodium.h>

#include <stdexcept>

#include "accounts/Times.h"
#include "platform/Clock.h"
#include "platform/TextEscape.h"
#include "protocol/MessageCodec.h"
#include "server/Connections.h"

namespace zq {

TLogins::TLogins(TAccountService& accounts, ISessionHost& host)
    : accounts_(accounts), host_(host), digestKey_(crypto_generichash_KEYBYTES, '\0') {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  randombytes_buf(digestKey_.data(), digestKey_.size());
}

std::string TLogins::Digest(std::string_view password) const {
  std::string digest(crypto_generichash_BYTES, '\0');
  crypto_generichash(reinterpret_cast<unsigned char*>(digest.data()), digest.size(),
                     reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                     reinterpret_cast<const unsigned char*>(digestKey_.data()), digestKey_.size());
  return digest;
}

bool TLogins::MayRejoin(const TSocketID& client) const {
  const TLoginMemo& memo = client.LoginMemo;
  if (!memo.Valid || GetTickCount() - memo.CheckedAt >= REJOIN_UNCHECKED_MS) return false;
  if (memo.UserName != client.LoginRecord.UserName) return false;
  const std::string digest = Digest(client.LoginRecord.Password);
  return sodium_memcmp(digest.data(), memo.PasswordDigest.data(), digest.size()) == 0;
}

// Reads on the main thread's own connection: under WAL they do not wait for writers. A file
// that cannot be read lets the connection in; its login is checked all the same.
bool TLogins::AddressBanned(const std::string& address) {
  try {
    return accounts_.Reads().Bans().FindForAddress(address, SystemWallClock()).has_value();
  } catch (const std::exception& e) {
    host_.Log(TLogLevel::Error, std::string("Cannot check the bans: ") + e.what());
    return false;
  }
}

bool TLogins::AdminAddress(const std::string& address) {
  try {
    return accounts_.Reads().AdminLastAt(address);
  } catch (const std::exception& e) {
    host_.Log(TLogLevel::Error, std::string("Cannot read the accounts: ") + e.what());
    return false;
  }
}

void TLogins::CheckLogin(TSocketID& client) {
  // A rejoin on the login held is answered later on the main thread, as the worker's verdicts
  // are, from the memo as it is then (a change to the account may have lowered it meanwhile).
  if (MayRejoin(client))
    return accounts_.PostMain([this, serial = client.Serial] { Rejoin(serial); });
  Submit(client);
}

void TLogins::Rejoin(uint64_t serial) {
  TSocketID* client = host_.FindBySerial(serial);
  if (!client || client->Stage != TStage::LoginPending) return;  // it has closed meanwhile
  if (!MayRejoin(*client)) return Submit(*client);
  TLoginVerdict held;
  held.Serial = serial;
  held.Outcome = TLoginOutcome::Accepted;
  held.Name = client->LoginMemo.PlayerName;
  held.Address = client->Address;
  held.Privileges = client->LoginMemo.Admin ? TPrivileges::Admin : TPrivileges::Player;
  OnLoginVerdict(std::move(held));
}

void TLogins::Submit(TSocketID& client) {
  client.LoginMemo = TLoginMemo{};
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
  const bool checked = verdict.Accepted();
  if (verdict.Outcome == TLoginOutcome::CheckFailed) {
    host_.Log(TLogLevel::Error,
              "Cannot check the login of " + EscapeControl(verdict.Name) + ": " + verdict.Error);
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
    // In open mode a Player's name is first come, first served; an Admin's was checked.
    if (mode == TAuthMode::Open && !admin)
      return RefuseLogin(*client, verdict, RefusalText(TLoginOutcome::NameInGame));
    // The account's owner is back: a ghost session does not lock it out.
    host_.Log(EscapeControl(verdict.Name) + " logged in again from " + client->Address +
              "; the connection from " + other->Address + ":" + std::to_string(other->Port) +
              " is closed.");
    host_.Close(*other, {}, std::nullopt);
  }
  if (verdict.AccountCreated && mode != TAuthMode::Open)
    host_.Log(TLogLevel::Notice, "Account " + EscapeControl(verdict.Name) + " created.");
  client->Admin = admin;
  client->JoinedAt = GetTickCount();
  if (checked && !client->LoginMemo.Valid) {  // a rejoin keeps the memo, and its time, as it is
    client->LoginMemo = TLoginMemo{true,
                                   client->LoginRecord.UserName,
                                   Digest(client->LoginRecord.Password),
                                   verdict.Name,
                                   admin,
                                   GetTickCount()};
  }
  host_.Join(*client, verdict.Name);  // its waiting input goes on once its GUID is bound
}

void TLogins::RefuseLogin(TSocketID& client, const TLoginVerdict& verdict, std::string_view text) {
  client.Stage = TStage::Greeted;
  const std::string name =
      verdict.Name.empty() ? client.LoginRecord.UserName.substr(0, MAX_NAME_LENGTH) : verdict.Name;
  host_.Log(TLogLevel::Warning, "Login refused for " + EscapeControl(name) + " from " +
                                    client.Address + ": " + std::string(text));
  host_.Close(client, text, std::nullopt);
}

void TLogins::RecordPlayTime(const TSocketID& client) {
  if (client.PlayerName.empty()) return;
  // Ticks wrap after 49 days; their difference is exact for any shorter stay.
  const int64_t seconds = static_cast<uint32_t>(GetTickCount() - client.JoinedAt) / 1000;
  accounts_.Run(
      [name = client.PlayerName, seconds](TAccountStore& store) {
        store.AddPlayTime(name, seconds);  // a name without an account records nothing
        return std::function<void()>();
      },
      [this](const std::string& error) {
        host_.Log(TLogLevel::Error, "Cannot record the time in the game: " + error);
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

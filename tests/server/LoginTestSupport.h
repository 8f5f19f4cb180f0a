// A server checking logins against a real accounts file in the fixture's directory, with a
// password "hash" that is plain text after an optional delay, so tests choose how long a
// check takes; clients that log in with a name and a password; and the shell's commands on
// the same file.
#pragma once

#include <sstream>

#include "accounts/AccountStore.h"
#include "app/AccountsCommand.h"
#include "tests/server/ServerFixture.h"
#include "tests/support/DelayedHasher.h"

namespace zq::test {

class LoginTest : public ServerTest {
 protected:
  void StartWith(TAuthMode mode, TServerOptions options = {}) {
    settings_.Auth = mode;
    options.Hasher = hasher_;
    StartServer({}, options);
  }
  // A second connection to the server's accounts file, as the shell's would be.
  TAccountStore& Store() {
    if (!store_) store_ = std::make_unique<TAccountStore>(dir_.Path() + "/zqosrv.db");
    return *store_;
  }
  void AddAccount(const std::string& name, const std::string& password,
                  TPrivileges privileges = TPrivileges::Player) {
    TAccount account;
    account.Name = name;
    account.PasswordHash = "plain:" + password;
    account.Privileges = privileges;
    ASSERT_TRUE(Store().Add(account));
  }
  static TSetupParams Params(const std::string& name, const std::string& password,
                             bool startGame = true) {
    TSetupParams params;
    params.Name = name;
    params.Password = password;
    params.StartGame = startGame;
    return params;
  }
  // A client through the dialogue with `name` and `password`: in the game, or refused.
  TZQClient& Login(const std::string& name, const std::string& password) {
    TZQClient& c = Connect();
    c.RunSetup(Params(name, password), 20000, pump_);
    return c;
  }

  // `zqosrv accounts|bans ARGS --accounts FILE` on the server's file, without a password;
  // true when it exits with 0.
  bool Shell(std::vector<std::string> args) {
    args.insert(args.end(), {"--accounts", dir_.Path() + "/zqosrv.db"});
    std::istringstream none;
    std::ostringstream out, err;
    const int status = RunAccountsCommand(args, none, out, err);
    EXPECT_EQ(status, 0) << err.str();
    return status == 0;
  }
  // The connection in the game under `name`, or none.
  TSocketID* Player(const std::string& name) {
    return server_->Running()->Connections().FindPlayer(name);
  }

  std::shared_ptr<DelayedHasher> hasher_ = std::make_shared<DelayedHasher>();
  std::unique_ptr<TAccountStore> store_;
};

}  // namespace zq::test

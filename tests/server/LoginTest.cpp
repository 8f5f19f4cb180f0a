// Logins over loopback against a real accounts file: each mode's accepted and refused paths
// (refusal text, closed connection, log line), take-over of a session, bans at connect and at
// login and on players already in, the pause and the per-address limit for admins, input sent
// while a login is checked, and the shell changing the file while the server runs.
#include <sstream>

#include "app/AccountsCommand.h"
#include "protocol/MessageCodes.h"
#include "tests/server/LoginTestSupport.h"
#include "tests/support/FakeClock.h"

namespace zq::test {
namespace {

TEST_F(LoginTest, ClaimModeTakesTheFirstPasswordAndHoldsTheNameToIt) {
  StartWith(TAuthMode::Claim);
  TZQClient& first = Login("Alice", "secret");
  ASSERT_EQ(first.Setup(), SetupState::InGame);
  EXPECT_GE(LineIndex("Account Alice created."), 0);
  std::optional<TAccount> account = Store().Find("alice");
  ASSERT_TRUE(account);
  EXPECT_EQ(account->PasswordHash, "plain:secret");
  EXPECT_EQ(account->LastAddress, "127.0.0.1");
  EXPECT_TRUE(account->LastLogin);

  TZQClient& wrong = Login("ALICE", "guess");
  EXPECT_EQ(wrong.Setup(), SetupState::Refused);
  EXPECT_EQ(RefusalOf(wrong), "Wrong name or password.");
  EXPECT_GE(LineIndex("Login refused for Alice from 127.0.0.1: Wrong name or password."), 0);
  EXPECT_EQ(wrong.Guid(), 0u);
  EXPECT_FALSE(first.IsClosed());

  // The owner again, from another connection: the old one is closed without a word.
  TZQClient& again = Login("alice", "secret");
  ASSERT_EQ(again.Setup(), SetupState::InGame);
  ASSERT_TRUE(WaitUntil([&] { return first.IsClosed(); }));
  EXPECT_FALSE(first.Refused());
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_EQ((*server_->Status().Players)[0].Name, "Alice");  // the account's own spelling
  EXPECT_GE(CountLines("Alice logged in again from 127.0.0.1; the connection from 127.0.0.1:"), 1);

  // A new name needs a password to claim it with.
  EXPECT_EQ(RefusalOf(Login("Bob", "")), "Wrong name or password.");
  EXPECT_FALSE(Store().Find("Bob"));
}

TEST_F(LoginTest, RegisteredModeAdmitsOnlyAccountsWithTheirPassword) {
  StartWith(TAuthMode::Registered);
  AddAccount("carol", "pw");
  EXPECT_EQ(Login("carol", "pw").Setup(), SetupState::InGame);
  EXPECT_EQ(RefusalOf(Login("dave", "pw")), "Wrong name or password.");
  EXPECT_EQ(RefusalOf(Login("carol", "PW")), "Wrong name or password.");
  EXPECT_FALSE(Store().Find("dave"));
  EXPECT_EQ(CountLines("Login refused for "), 2);
}

TEST_F(LoginTest, OpenModeRefusesASecondPlayerOfANameAndRecordsNames) {
  StartWith(TAuthMode::Open);
  TZQClient& first = Join("Erin");
  ASSERT_EQ(first.Setup(), SetupState::InGame);
  TZQClient& second = Login("erin", "other");
  EXPECT_EQ(RefusalOf(second), "This name is in the game already.");
  EXPECT_GE(LineIndex("Login refused for Erin from 127.0.0.1: This name is in the game already."),
            0);
  EXPECT_FALSE(first.IsClosed());
  std::optional<TAccount> recorded = Store().Find("erin");
  ASSERT_TRUE(recorded);
  EXPECT_FALSE(recorded->HasPassword());
  EXPECT_EQ(recorded->LastAddress, "127.0.0.1");

  // Once the first has left, the name is free; the time in the game is added at departure.
  first.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  EXPECT_EQ(Login("ERIN", "x").Setup(), SetupState::InGame);
}

TEST_F(LoginTest, ControlCharactersInARefusedNameAreEscapedInTheLog) {
  StartWith(TAuthMode::Registered);
  EXPECT_EQ(RefusalOf(Login("evil\nname", "pw")), "Wrong name or password.");
  EXPECT_GE(LineIndex("Login refused for evil\\x0Aname from 127.0.0.1: Wrong name or password."),
            0);
}

TEST_F(LoginTest, BansApplyAtConnectAtLoginAndToPlayersInTheGame) {
  StartWith(TAuthMode::Open);
  TBan byName;
  byName.Target = ParseBanTarget("Mallory");
  Store().Bans().Add(byName);
  EXPECT_EQ(RefusalOf(Login("mallory", "pw")), "You are banned.");
  EXPECT_GE(LineIndex("Login refused for mallory from 127.0.0.1: You are banned."), 0);

  TBan expired;
  expired.Target = ParseBanTarget("127.0.0.0/8");
  expired.Expires = SystemWallClock() - 1;
  Store().Bans().Add(expired);
  TZQClient& player = Join("frank");
  ASSERT_EQ(player.Setup(), SetupState::InGame);

  // A ban added while the player is in: kicked with the ban's text at once.
  bool done = false;
  std::string error = "unset";
  TBan range;
  range.Target = ParseBanTarget("127.0.0.0/8");
  server_->Administration()->AddBan(range, [&](const std::string& e) {
    done = true;
    error = e;
  });
  ASSERT_TRUE(WaitUntil([&] { return done && player.IsClosed(); }));
  EXPECT_EQ(error, "");
  EXPECT_EQ(RefusalOf(player), "You are banned.");
  EXPECT_GE(LineIndex("Client 127.0.0.1 dropped due to ban."), 0);

  TZQClient& late = Connect();
  EXPECT_TRUE(late.Refused());
  EXPECT_EQ(RefusalOf(late), "You are banned.");
  EXPECT_GE(LineIndex("Connection from 127.0.0.1 refused: the address is banned."), 0);
  // Counted under short labels, whatever the log's words.
  EXPECT_EQ(server_->Status().Counters.Dropped[TDrop::Ban], 1u);
  EXPECT_EQ(server_->Status().Counters.Refused[TRefusal::Banned], 1u);
}

TEST_F(LoginTest, TheShellChangesTheFileWhileTheServerRuns) {
  StartWith(TAuthMode::Registered);
  const std::string file = dir_.Path() + "/zqosrv.db";
  std::istringstream password("from-shell\n");
  std::ostringstream out, err;
  TAccountsCommandOptions minimum{TArgon2Hasher::Minimum()};
  ASSERT_EQ(RunAccountsCommand({"accounts", "add", "grace", "--accounts", file}, password, out, err,
                               minimum),
            0)
      << err.str();
  // The shell hashes with Argon2id; this server's hasher reads only its own hashes, so the
  // account's password is set again the way the server would hash it.
  ASSERT_TRUE(Store().SetPasswordHash("grace", "plain:from-shell"));
  TZQClient& grace = Login("grace", "from-shell");
  ASSERT_EQ(grace.Setup(), SetupState::InGame);

  std::istringstream none;
  ASSERT_EQ(RunAccountsCommand({"bans", "add", "Grace", "--accounts", file}, none, out, err), 0)
      << err.str();
  EXPECT_FALSE(grace.IsClosed());
  server_->Reload();  // SIGHUP: the file is opened again and bans apply to those connected
  EXPECT_EQ(RefusalOf(grace), "You are banned.");
  EXPECT_GE(LineIndex("Accounts file " + file + " reopened."), 0);
}

TEST_F(LoginTest, InputSentDuringTheCheckIsHandledInOrderAfterTheJoin) {
  hasher_->delayMs = 400;
  StartWith(TAuthMode::Claim);
  TZQClient& c = Connect();
  ASSERT_TRUE(c.RunSetup(Params("henry", "pw", false), 20000, pump_));
  // StartGame, a key and its release at once, while the password is being checked.
  c.SendStartGame();
  c.SendKeyDown(4, 0, 0, 7);
  c.SendKeyUp(4, 0, 0, 8);
  TZQClient& other = Connect();
  EXPECT_TRUE(other.SendQueryIdentity());
  EXPECT_TRUE(other.WaitFor<msg::IdentityReply>(10000, pump_));  // served meanwhile
  EXPECT_EQ(c.Guid(), 0u);

  auto down = c.WaitFor<msg::KeyDownAck>(20000, pump_);
  ASSERT_TRUE(down);
  EXPECT_EQ(down->ClientValue, 7u);
  auto up = c.WaitFor<msg::KeyUpAck>(10000, pump_);
  ASSERT_TRUE(up);
  EXPECT_EQ(up->ClientValue, 8u);
  EXPECT_NE(c.Guid(), 0u);
}

TEST_F(LoginTest, TooMuchInputDuringTheCheckClosesTheConnection) {
  hasher_->delayMs = 3000;
  StartWith(TAuthMode::Claim);
  TZQClient& c = Connect();
  ASSERT_TRUE(c.RunSetup(Params("jack", "pw", false), 20000, pump_));
  c.SendStartGame();
  const std::string chatter(40000, 'x');
  c.SendClientSay(chatter);
  ASSERT_FALSE(WaitUntil([&] { return c.IsClosed(); }, 300));  // 40 KB may wait
  c.SendClientSay(chatter);
  ASSERT_TRUE(WaitUntil([&] { return c.IsClosed(); }));
  EXPECT_GE(LineIndex("Client 127.0.0.1 dropped due to input beyond the limit while its login is "
                      "checked."),
            0);
  EXPECT_EQ(server_->Status().Counters.Dropped[TDrop::LoginInputOverflow], 1u);
}

TEST_F(LoginTest, AConnectionClosedDuringTheCheckIsForgottenByItsVerdict) {
  hasher_->delayMs = 300;
  StartWith(TAuthMode::Claim);
  TZQClient& c = Connect();
  c.BeginSetup(Params("ivy", "pw"));
  ASSERT_TRUE(WaitUntil([&] { return c.Setup() == SetupState::AwaitGUID; }));
  c.Close();
  TZQClient& next = Connect();  // takes the same socket number
  ASSERT_TRUE(WaitUntil([&] { return Store().Find("ivy").has_value(); }));
  // One login worker answers in order: once a later login is in, ivy's verdict has come back.
  hasher_->delayMs = 0;
  ASSERT_EQ(Login("jim", "pw").Setup(), SetupState::InGame);
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_EQ(server_->Status().Players->front().Name, "jim");
  EXPECT_FALSE(next.IsClosed());
  EXPECT_EQ(server_->Running()->Sockets()[1].PlayerName, "");
}

TEST_F(LoginTest, AnAdminGetsPastThePauseAndThePerAddressLimitFromItsLastAddress) {
  settings_.MaxPerAddress = 1;
  StartWith(TAuthMode::Registered);
  AddAccount("root", "rootpw", TPrivileges::Admin);
  AddAccount("joe", "joepw");
  TZQClient& joe = Login("joe", "joepw");
  ASSERT_EQ(joe.Setup(), SetupState::InGame);
  // No Admin has logged in from here yet: refused at connect as before.
  EXPECT_EQ(RefusalOf(Connect()), "Too many connections from this address.");
  ASSERT_TRUE(Store().RecordLogin("root", SystemWallClock(), "127.0.0.1"));

  TZQClient& root = Login("root", "rootpw");
  EXPECT_EQ(root.Setup(), SetupState::InGame);
  // Let in from the Admin's address, but a Player's login is refused.
  EXPECT_EQ(RefusalOf(Login("joe", "joepw")), "Too many connections from this address.");

  server_->SetPaused(true);
  joe.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_EQ(RefusalOf(Login("joe", "joepw")), "Server is paused.");
  EXPECT_GE(LineIndex("Login refused for joe from 127.0.0.1: Server is paused."), 0);
  root.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  EXPECT_EQ(Login("root", "rootpw").Setup(), SetupState::InGame);
}

TEST_F(LoginTest, TimeInTheGameIsAddedWhenThePlayerLeaves) {
  StartWith(TAuthMode::Claim);
  TZQClient& c = Login("kate", "pw");
  ASSERT_EQ(c.Setup(), SetupState::InGame);
  {
    FakeClock clock(GetTickCount());
    FakeClock::Advance(1500);
    c.SendClientGone();
    ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  }
  ASSERT_TRUE(WaitUntil([&] { return Store().Find("kate")->PlaySeconds >= 1; }));
  EXPECT_FALSE(c.IsClosed());  // left the game, still connected
}

TEST_F(LoginTest, TheOperatorsChangesAreHashedAndWrittenOffTheMainThread) {
  hasher_->delayMs = 300;
  StartWith(TAuthMode::Registered);
  AddAccount("Olga", "olgapw", TPrivileges::Admin);
  TZQClient& olga = Login("olga", "olgapw");
  ASSERT_EQ(olga.Setup(), SetupState::InGame);
  ASSERT_TRUE(server_->Running()->Sockets()[1].Admin);

  std::vector<std::string> results;
  std::vector<TEditOutcome> outcomes;
  auto record = [&](TEditOutcome outcome, const std::string& error) {
    outcomes.push_back(outcome);
    results.push_back(error);
  };
  auto save = [&](const std::string& name, const std::string& password, TPrivileges privileges,
                  bool create) {
    server_->Administration()->EditAccount(TAccountEdit{name, password, privileges, create, {}},
                                           record);
  };
  save("nina", "pw", TPrivileges::Player, true);
  EXPECT_TRUE(results.empty());  // back at once; the event loop goes on meanwhile
  TZQClient& other = Connect();
  EXPECT_TRUE(other.Greeted());
  ASSERT_TRUE(WaitUntil([&] { return results.size() == 1; }));
  EXPECT_EQ(results[0], "");
  EXPECT_NE(hasher_->lastThread.load(), std::this_thread::get_id());
  EXPECT_EQ(Store().Find("nina")->PasswordHash, "plain:pw");

  // Losing Admin takes effect at once for the player in the game.
  save("OLGA", "", TPrivileges::Player, false);
  ASSERT_TRUE(WaitUntil([&] { return results.size() == 2; }));
  EXPECT_EQ(results[1], "");
  EXPECT_FALSE(server_->Running()->Sockets()[1].Admin);
  EXPECT_EQ(Store().Find("olga")->PasswordHash, "plain:olgapw");

  save("nina", "", TPrivileges::Player, true);
  save("nobody", "", TPrivileges::Player, false);
  save("nina", "x", TPrivileges::Player, true);
  ASSERT_TRUE(WaitUntil([&] { return results.size() == 5; }));
  EXPECT_EQ(results[2], "A new account needs a password.");
  EXPECT_EQ(results[3], "There is no account named nobody.");
  EXPECT_EQ(results[4], "An account named nina exists already.");
  EXPECT_EQ(outcomes, (std::vector<TEditOutcome>{TEditOutcome::Done, TEditOutcome::Done,
                                                 TEditOutcome::Invalid, TEditOutcome::Missing,
                                                 TEditOutcome::Exists}));
}

}  // namespace
}  // namespace zq::test

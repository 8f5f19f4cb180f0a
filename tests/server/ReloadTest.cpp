// SIGHUP's reload on a running server: the limits change at once and every change is logged,
// the rest waits for the next start, a broken file changes nothing, the command line still wins.
#include <filesystem>

#include "accounts/AccountService.h"
#include "app/ConfigReload.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

class ReloadTest : public ServerTest {
 protected:
  // Starts the server as `zqosrv --config FILE ARGS...` would, FILE holding `text`.
  void StartWith(const std::string& text, std::vector<std::string> args = {}) {
    WriteFile(path_, text);
    args.insert(args.begin(), {"--config", path_, "--tcp-port", "0", "--base-udp-port",
                               std::to_string(BaseUdpPort())});
    const TCommandLine commandLine = ParseCommandLine(args);
    settings_ = commandLine.Settings;
    StartServer();
    reload_ = std::make_unique<TConfigReload>(commandLine);
  }
  bool Reload(const std::string& text) {
    WriteFile(path_, text);
    view_.lines.clear();
    return reload_->Run(*server_);
  }

  std::string path_ = dir_ / "world.conf";
  std::unique_ptr<TConfigReload> reload_;
};

TEST_F(ReloadTest, LimitsChangeWhileRunningAndEveryChangeIsLogged) {
  StartWith("max_clients = 2\nsetup_timeout = 30\n");
  TZQClient& first = Connect();  // stays in its setup dialogue
  ASSERT_TRUE(first.Greeted());

  ASSERT_TRUE(
      Reload("max_clients = 1\nsetup_timeout = 1\nmax_per_address = 1\nmax_message_rate = 5\n"
             "server_name = \"Renamed\"\nauth = claim\n"));
  EXPECT_EQ(Messages().size(), 8u);
  EXPECT_EQ(LineIndex("Reload requested."), 0);
  EXPECT_EQ(LineIndex("Accounts file " + std::string(dir_ / "zqosrv.db") + " reopened."), 1);
  EXPECT_EQ(LineIndex("Reload: server_name \"MyServer\" -> \"Renamed\" (takes effect at the next "
                      "start)"),
            2);
  EXPECT_EQ(LineIndex("Reload: max_clients 2 -> 1"), 3);
  EXPECT_EQ(LineIndex("Reload: setup_timeout 30 -> 1"), 4);
  EXPECT_EQ(LineIndex("Reload: max_per_address 0 -> 1"), 5);
  EXPECT_EQ(LineIndex("Reload: max_message_rate 100 -> 5"), 6);
  EXPECT_EQ(LineIndex("Reload: auth open -> claim"), 7);
  ASSERT_NE(server_->Administration(), nullptr);
  EXPECT_EQ(server_->Administration()->Accounts().Mode(), TAuthMode::Claim);
  EXPECT_EQ(server_->Status().MaxClients, 1);
  EXPECT_EQ(view_.status, "Connected: 1/1");

  TZQClient& second = Connect();
  EXPECT_TRUE(second.Refused()) << "the new maximum admits nobody more";
  ASSERT_TRUE(WaitUntil([&] { return first.IsClosed(); }, 15000))
      << "the new setup deadline of one second closes the waiting client";
  EXPECT_GE(LineIndex("Client 127.0.0.1 dropped due to setup timeout."), 0);

  // What waits for the next start is named again while the file differs; nothing else is.
  ASSERT_TRUE(
      Reload("max_clients = 1\nsetup_timeout = 1\nmax_per_address = 1\nmax_message_rate = 5\n"
             "server_name = \"Renamed\"\nauth = claim\n"));
  EXPECT_EQ(Messages().size(), 3u);
  EXPECT_EQ(CountLines("Reload: server_name"), 1);
}

TEST_F(ReloadTest, ABrokenFileChangesNothing) {
  StartWith("max_clients = 3\n");
  EXPECT_FALSE(Reload("max_clients = 3\nmax_per_address = lots\n"));
  EXPECT_GE(LineIndex("Reload failed, nothing changed: " + path_ +
                      ":2: max_per_address: 'lots' is not an integer"),
            0);
  EXPECT_FALSE(Reload("max_clients = 9\nunknown = 1\n"));
  EXPECT_EQ(server_->Status().MaxClients, 3);
  std::filesystem::remove(path_);
  EXPECT_FALSE(reload_->Run(*server_));
  EXPECT_EQ(CountLines("Reload failed, nothing changed: --config: Cannot read " + path_), 1);
  EXPECT_EQ(server_->Status().MaxClients, 3);
}

TEST_F(ReloadTest, TheCommandLineStillWins) {
  StartWith("max_clients = 3\n", {"--max-clients", "5"});
  EXPECT_EQ(server_->Status().MaxClients, 5);
  ASSERT_TRUE(Reload("max_clients = 9\n"));
  EXPECT_GE(LineIndex("Reload: nothing changed."), 0);
  EXPECT_EQ(server_->Status().MaxClients, 5);
}

}  // namespace
}  // namespace zq::test

// The zqosrv program as an operator runs it: signals at any moment of its life, SIGHUP, and
// option values that cannot work or that surprise.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/server/ServerFixture.h"
#include "tests/server/ServerProcess.h"

namespace zq::test {
namespace {

class ProcessTest : public ::testing::Test {
 protected:
  ProcessTest() { mkworld::WriteInstallation(game_.Path()); }
  TempDir out_, game_;
  TUdpPortRange range_;
};

TEST_F(ProcessTest, ASignalAtAnyMomentEndsTheServerCleanly) {
  // From the very first instant (before the watcher exists) through the first start's
  // unpacking to the running server: each time exit status 0.
  for (int delayMs : {0, 5, 20, 60, 150}) {
    std::filesystem::remove_all(game_ / "SRVDAT");
    TServerProcess server(out_.Path(), {"--headless", "--game-dir", game_.Path(), "--tcp-port", "0",
                                        "--base-udp-port", std::to_string(range_.Base())});
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    server.Signal(delayMs % 2 ? SIGINT : SIGTERM);
    EXPECT_EQ(server.Wait(), 0) << "signal after " << delayMs << " ms: " << server.Stderr();
  }
}

TEST_F(ProcessTest, SighupIsLoggedAndTheServerGoesOn) {
  TServerProcess server(out_.Path(), {"--headless", "--game-dir", game_.Path(), "--tcp-port", "0",
                                      "--base-udp-port", std::to_string(range_.Base())});
  const std::string log = game_ / "ZQOSRV.LOG";
  ASSERT_TRUE(WaitForText(log, "SGM: GameManager startup.")) << server.Stderr();
  server.Signal(SIGHUP);
  ASSERT_TRUE(WaitForText(log, "Reload requested."));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(server.Running());
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("Server shutdown."), std::string::npos);
  EXPECT_NE(text.find("SGM: GameManager shutdown."), std::string::npos);
  EXPECT_NE(text.find("DM: DispatchManager shutdown."), std::string::npos);
}

TEST_F(ProcessTest, ValuesThatCannotWorkAreRefusedAndSurprisingOnesWarned) {
  auto run = [&](std::vector<std::string> args) { return RunToEnd(out_.Path(), std::move(args)); };
  auto [status, err] = run({"--base-udp-port", "abc"});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "zqosrv: --base-udp-port: 'abc' is not an integer\n");
  std::tie(status, err) = run({"--base-udp-port", "65500"});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("zqosrv: --base-udp-port: '65500' gives client 36 the UDP port 0"),
            std::string::npos)
      << err;
  std::tie(status, err) = run({"--server-name", std::string(70000, 'n')});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("--server-name: 70000 bytes"), std::string::npos) << err;
  std::tie(status, err) = run({"--setup-timeout", "-1"});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "zqosrv: --setup-timeout: '-1' is below 0\n");
  std::tie(status, err) = run({"--auth", "closed"});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "zqosrv: --auth: 'closed' is not open, claim or registered\n");

  // Taken as they are, with one warning each; the start then fails on the missing directory.
  std::tie(status, err) = run(
      {"--headless", "--game-dir", out_ / "none", "--max-clients", "100", "--spawn-x", "70000"});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("zqosrv: warning: --max-clients 100: at most 63 clients"), std::string::npos)
      << err;
  EXPECT_NE(err.find("zqosrv: warning: --spawn-x 70000: its low 16 bits are used, 4464"),
            std::string::npos)
      << err;
}

TEST_F(ProcessTest, HelpExitsZeroAndWhatIsNoOptionExitsOne) {
  TServerProcess help(out_.Path(), {"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_TRUE(help.Stdout().starts_with("Usage: zqosrv [OPTIONS]\n")) << help.Stdout();
  EXPECT_NE(help.Stdout().find("\n  --max-clients N "), std::string::npos);
  EXPECT_EQ(help.Stderr(), "");

  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--headless", "--bogus"}, "zqosrv: Unknown option '--bogus' (see --help)\n"},
      {{"--headless", "world"}, "zqosrv: Unexpected argument 'world' (see --help)\n"},
      {{"--headless", "--tcp-port"}, "zqosrv: Missing value after '--tcp-port'\n"},
      {{"--print-config", "--base-udp-port", "28500", "--tcp-port", "28563"},
       "zqosrv: TCP port 28563 lies in the UDP range 28501..28563 of base UDP port 28500 (client "
       "n uses base + n)\n"},
  };
  for (const auto& [args, error] : refused) {
    TServerProcess run(out_.Path(), args);
    EXPECT_EQ(run.Wait(), 1) << args[1];
    EXPECT_EQ(run.Stderr(), error);
    EXPECT_EQ(run.Stdout(), "") << "nothing printed, nothing started";
  }
}

TEST_F(ProcessTest, AccountsAndBansCommandsShareTheServersFile) {
  {
    TServerProcess shell(out_.Path(), {"bans", "add", "198.51.100.0/24", "--game-dir", game_.Path(),
                                       "--accounts", "bans.db"});
    ASSERT_EQ(shell.Wait(), 0) << shell.Stderr();
  }
  EXPECT_TRUE(std::filesystem::exists(game_ / "bans.db"));
  TServerProcess server(out_.Path(), {"--headless", "--game-dir", game_.Path(), "--tcp-port", "0",
                                      "--base-udp-port", std::to_string(range_.Base()), "--auth",
                                      "registered", "--accounts", "bans.db"});
  const std::string log = game_ / "ZQOSRV.LOG";
  ASSERT_TRUE(WaitForText(log, "Accounts in " + game_.Path() + "/bans.db, logins registered."))
      << server.Stderr();
  TempDir listed;
  TServerProcess list(listed.Path(), {"bans", "list", "--accounts", game_ / "bans.db"});
  EXPECT_EQ(list.Wait(), 0) << list.Stderr();  // while the server has the file open
  EXPECT_NE(ReadFile(listed / "stdout").find("198.51.100.0/24"), std::string::npos);
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
}

}  // namespace
}  // namespace zq::test

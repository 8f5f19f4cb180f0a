// zqosrv as a service manager runs it: the notify socket's messages through a life (ready once
// listening, status, watchdog, reload, stopping), log lines on standard output and diagnostics
// on standard error, the configuration file, and two worlds side by side.
#include <signal.h>

#include <chrono>
#include <regex>
#include <sstream>

#include "tests/server/ServerFixture.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/NotifySocket.h"
#include "tools/client/WireFormat.h"

namespace zq::test {
namespace {

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, next; (next = text.find(end, at)) != std::string::npos;
       at = next + end.size())
    lines.push_back(text.substr(at, next - at));
  return lines;
}

class ServiceProcessTest : public ::testing::Test {
 protected:
  ServiceProcessTest() { mkworld::WriteInstallation(game_.Path()); }
  TempDir out_, game_;
  TUdpPortRange range_;
};

TEST_F(ServiceProcessTest, TheManagerHearsEveryStepOfALife) {
  TNotifySocket manager(out_ / "notify");
  const std::string config = out_ / "world.conf";
  const std::string rest = "base_udp_port = " + std::to_string(range_.Base()) +
                           "\ntcp_port = 0\nlisten = 127.0.0.1\nsetup_timeout = 0\n";
  WriteFile(config, "max_clients = 4\n" + rest);
  TServerProcess server(out_.Path(), {"--headless", "--config", config, "--game-dir", game_.Path()},
                        {"NOTIFY_SOCKET=" + manager.Address(), "WATCHDOG_USEC=6000000"});

  EXPECT_EQ(manager.Next(), "STATUS=Connected: 0/4 clients, Max Connected: 0") << server.Stderr();
  ASSERT_EQ(manager.Next(), "READY=1") << server.Stderr();
  const uint16_t port = ListeningPortIn(server.Stdout());
  ASSERT_NE(port, 0) << "listening before ready: " << server.Stdout();
  TZQClient client;
  client.Connect("127.0.0.1", port);
  ASSERT_TRUE(client.WaitUntil([&] { return client.Greeted(); }, 30000));
  EXPECT_EQ(manager.Next(), "STATUS=Connected: 1/4 clients, Max Connected: 1");
  // A payload too short for its fields: a diagnostic, on standard error only.
  client.SendRaw(wire::Frame(wire::ClientUDPPort, ""), Via::Tcp);
  EXPECT_EQ(manager.NextStarting("WATCHDOG=1", 30000), "WATCHDOG=1") << "a heartbeat cycle";

  WriteFile(config, "max_clients = 6\n" + rest);
  server.Signal(SIGHUP);
  const std::string reloading = manager.NextStarting("RELOADING=1");
  EXPECT_TRUE(std::regex_match(reloading, std::regex("RELOADING=1\nMONOTONIC_USEC=[0-9]+")))
      << reloading;
  EXPECT_EQ(manager.NextStarting("STATUS="), "STATUS=Connected: 1/6 clients, Max Connected: 1");
  EXPECT_EQ(manager.NextStarting("READY=1"), "READY=1");

  server.Signal(SIGTERM);
  EXPECT_EQ(manager.NextStarting("STOPPING=1"), "STOPPING=1");
  EXPECT_EQ(server.Wait(), 0);
  for (const std::string& m : manager.Skipped()) EXPECT_EQ(m, "WATCHDOG=1");

  // Standard output: the log's lines, stamped as in the file; standard error: the
  // diagnostic, stamped.
  const std::vector<std::string> logged = Lines(ReadFile(game_ / "ZQOSRV.LOG"), "\r\n");
  EXPECT_EQ(Lines(server.Stdout(), "\n"), logged);
  EXPECT_NE(ReadFile(game_ / "ZQOSRV.LOG").find("Reload: max_clients 4 -> 6"), std::string::npos);
  EXPECT_TRUE(std::regex_search(
      server.Stderr(),
      std::regex("(^|\n)[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} Short payload for 0x28 ")))
      << server.Stderr();
  EXPECT_EQ(server.Stdout().find("Short payload"), std::string::npos);
}

TEST_F(ServiceProcessTest, TwoWorldsRunSideBySideFromTwoFiles) {
  TempDir otherGame;
  mkworld::WriteInstallation(otherGame.Path());
  TUdpPortRange otherRange;
  auto world = [&](const std::string& name, const std::string& address, uint16_t port,
                   uint16_t base, const std::string& game) {
    const std::string path = out_ / (name + ".conf");
    WriteFile(path, "game_dir = " + game + "\nlisten = " + address + "\ntcp_port = " +
                        std::to_string(port) + "\nbase_udp_port = " + std::to_string(base) +
                        "\nserver_name = \"" + name + "\"\n");
    return path;
  };
  TempDir outA, outB, outC;
  TServerProcess a(outA.Path(), {"--headless", "--config",
                                 world("a", "127.0.0.1", 0, range_.Base(), game_.Path())});
  ASSERT_TRUE(WaitForText(outA / "stdout", "SGM: GameManager startup.")) << a.Stderr();
  const uint16_t port = ListeningPortIn(a.Stdout());
  TServerProcess b(outB.Path(),
                   {"--headless", "--config",
                    world("b", "127.0.0.2", port, otherRange.Base(), otherGame.Path())});
  ASSERT_TRUE(WaitForText(outB / "stdout", "SGM: GameManager startup.")) << b.Stderr();

  for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
    TZQClient client;
    client.Connect(address, port);
    TSetupParams params;
    params.Name = std::string("at ") + address;
    EXPECT_TRUE(client.RunSetup(params, 30000)) << address;
  }
  // A third on the first one's address and port fails, in a game directory of its own (on
  // the first one's, the directory's lock refuses it before the port is tried).
  TempDir thirdGame;
  mkworld::WriteInstallation(thirdGame.Path());
  const auto [status, error] =
      RunToEnd(outC.Path(), {"--headless", "--config",
                             world("c", "127.0.0.1", port, otherRange.Base(), thirdGame.Path())});
  EXPECT_EQ(status, 1);
  EXPECT_NE(error.find("Cannot listen on TCP port " + std::to_string(port) + " of 127.0.0.1"),
            std::string::npos)
      << error;

  a.Signal(SIGTERM);
  b.Signal(SIGTERM);
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(b.Wait(), 0);
  const std::string logA = ReadFile(game_ / "ZQOSRV.LOG"),
                    logB = ReadFile(otherGame / "ZQOSRV.LOG");
  EXPECT_NE(logA.find("SGM: Added player at 127.0.0.1"), std::string::npos) << logA;
  EXPECT_NE(logB.find("SGM: Added player at 127.0.0.2"), std::string::npos) << logB;
  EXPECT_EQ(logA.find("at 127.0.0.2"), std::string::npos);
  EXPECT_EQ(logA.find("* Server is version"), logA.rfind("* Server is version"))
      << "one start banner only";
}

TEST_F(ServiceProcessTest, TheFileIsCheckedBeforeAnythingRuns) {
  const std::string config = out_ / "world.conf";
  WriteFile(config, "; world\nmax_clients = 40\nspawn_x = east\n");
  auto [status, error] = RunToEnd(out_.Path(), {"--headless", "--config", config});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(error, "zqosrv: " + config + ":3: spawn_x: 'east' is not an integer\n");

  WriteFile(config, "max_clients = 40\n");
  TServerProcess print(out_.Path(), {"--config", config, "--spawn-x", "7", "--print-config"});
  EXPECT_EQ(print.Wait(), 0);
  EXPECT_NE(print.Stdout().find("\nmax_clients = 40\n"), std::string::npos) << print.Stdout();
  EXPECT_NE(print.Stdout().find("\nspawn_x = 7\n"), std::string::npos);

  const std::string udp = std::to_string(range_.Base());
  std::tie(status, error) =
      RunToEnd(out_.Path(), {"--headless", "--game-dir", game_.Path(), "--base-udp-port", udp,
                             "--tcp-port", std::to_string(range_.Base() + 63)});
  EXPECT_EQ(status, 1);
  EXPECT_NE(error.find("TCP port " + std::to_string(range_.Base() + 63) +
                       " lies in the UDP range " + std::to_string(range_.Base() + 1) + ".."),
            std::string::npos)
      << error;
}

}  // namespace
}  // namespace zq::test

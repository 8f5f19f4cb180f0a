// The start sequence on a generated world: its log lines and their order, the data directory
// built on the first start only, the identity, and start-up failures.
#include <filesystem>

#include "platform/Errors.h"
#include "platform/StrToInt.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

const std::vector<std::string> START_LINES = {
    "************************",
    "* Server is version 0.1.1",
    "* Initial max is 32",
    "Server initialization:",
    "Shapes loaded.",
    "TFA, Chunks, Map loaded.",
    "IFIX Loaded.",
    "IREG Loaded.",
    "Beat is active at a 3000ms interval, with a 5 timeout.",
};

TEST_F(ServerTest, StartLogsTheSequenceInOrderAndExtractsOnce) {
  StartServer();
  int last = -1;
  for (const std::string& line : START_LINES) {
    int at = LineIndex(line);
    EXPECT_GT(at, last) << line;
    last = at;
  }
  EXPECT_EQ(LineIndex("* Using data from " + dir_.Path() + "/"), 2);
  EXPECT_EQ(LineIndex("Building GameDat entries in " + dir_.Path() + "/SRVDAT/"), 5);
  EXPECT_GE(
      LineIndex("Server is TCP listening on " + std::to_string(server_->Status().ListeningPort)),
      0);
  EXPECT_EQ(view_.extractions, 1);
  EXPECT_EQ(server_->Status().GameIdentity, "QUOREL7");
  EXPECT_EQ(view_.status, "Connected: 0/32");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "SRVDAT/ZQIREG8F"));

  // The threads' start lines follow once the loop runs.
  EXPECT_TRUE(WaitUntil([&] {
    return LineIndex("DM: DispatchManager startup.") > 0 &&
           LineIndex("SGM: GameManager startup.") > 0;
  }));
  EXPECT_GT(LineIndex("SGM: GameManager startup."), LineIndex(START_LINES.back()));

  // A second start on the same directory finds SRVDAT and extracts nothing.
  server_.reset();
  view_.lines.clear();
  StartServer();
  EXPECT_EQ(CountLines("Building GameDat entries in "), 0);
  EXPECT_EQ(view_.extractions, 1);
  EXPECT_EQ(server_->Status().GameIdentity, "QUOREL7");
}

TEST_F(ServerTest, ShutdownLogsThreadsInOrderAndNothingAfterwards) {
  StartServer();
  ASSERT_TRUE(WaitUntil([&] { return LineIndex("SGM: GameManager startup.") > 0; }));
  server_->Shutdown();
  int shutdown = LineIndex("Server shutdown.");
  int sgm = LineIndex("SGM: GameManager shutdown. WaitResult=wrTimeout Terminated=True");
  int dm = CountLines("DM: DispatchManager shutdown. WaitResult=");
  ASSERT_GE(shutdown, 0);
  EXPECT_GT(sgm, shutdown);
  EXPECT_EQ(dm, 1);
  EXPECT_EQ(
      view_.lines.back().find("DM: DispatchManager shutdown. WaitResult=") != std::string::npos,
      true);
  EXPECT_FALSE(server_->ServerStarted());
  std::size_t count = view_.lines.size();
  server_->Shutdown();  // a second close does nothing
  EXPECT_EQ(view_.lines.size(), count);
}

TEST_F(ServerTest, TwoServersInOneProcessKeepToThemselves) {
  StartServer();
  TempDir otherDir;
  mkworld::WriteInstallation(otherDir.Path());
  TUdpPortRange otherRange;
  TRecordingView otherView;
  TZQOServer other(otherView, TServerOptions{});
  TServerSettings settings;
  settings.GameDirectory = otherDir.Path();
  settings.TcpPort = 0;
  settings.ServerName = "Other";
  settings.BaseUdpPortText = std::to_string(otherRange.Base());
  other.StartServer(settings);
  ASSERT_TRUE(other.ServerStarted());

  TZQClient& here = Join("here");
  TZQClient& there = JoinAt("127.0.0.1", other.Status().ListeningPort, "there");
  EXPECT_EQ(here.Guid(), 1u);
  EXPECT_EQ(there.Guid(), 1u);
  here.ClearInbox();
  there.ClearInbox();
  there.SendClientSay("only here");
  ASSERT_TRUE(there.WaitFor<msg::PlayerSpeech>(10000, pump_));
  EXPECT_FALSE(here.WaitUntil([&] { return !here.Inbox().empty(); }, 300, pump_));
  ASSERT_TRUE(WaitUntil([&] {
    return otherView.lines.size() > 0 && server_->Status().Players->size() == 1 &&
           other.Status().Players->size() == 1;
  }));
  other.Shutdown();
  EXPECT_EQ(server_->Status().Players->size(), 1u)
      << "one server's shutdown leaves the other running";
  EXPECT_TRUE(server_->ServerStarted());
}

TEST_F(ServerTest, MissingTfaStopsStartWithErrorNamingTheFile) {
  mkworld::WriteInstallation(dir_.Path());
  std::filesystem::remove(dir_ / "STATIC/TFA.DAT");
  TZQOServer server(view_, TServerOptions{});
  TServerSettings settings;
  settings.GameDirectory = dir_.Path();
  try {
    server.StartServer(settings);
    FAIL() << "start-up succeeded without TFA.DAT";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("TFA.DAT"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(server.ServerStarted());
  EXPECT_GE(LineIndex("Shapes loaded."), 0);
  EXPECT_EQ(LineIndex("TFA, Chunks, Map loaded."), -1);
  ASSERT_FALSE(view_.lines.empty());
  EXPECT_NE(view_.lines.back().find(" Start-up failed: "), std::string::npos);
  EXPECT_NE(view_.lines.back().find("TFA.DAT"), std::string::npos) << "it names the file";
  std::size_t count = view_.lines.size();
  server.Shutdown();  // nothing is written after a failed start
  EXPECT_EQ(view_.lines.size(), count);
}

TEST_F(ServerTest, BadBaseUdpPortFailsBeforeTheLogExists) {
  mkworld::WriteInstallation(dir_.Path());
  TZQOServer server(view_, TServerOptions{});
  TServerSettings settings;
  settings.GameDirectory = dir_.Path();
  settings.BaseUdpPortText = "28x00";
  EXPECT_THROW(server.StartServer(settings), EConvertError);
  EXPECT_TRUE(view_.lines.empty());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ZQOSRV.LOG"));
}

TEST_F(ServerTest, BaseUdpPortUsesTheLow16Bits) {
  EXPECT_EQ(static_cast<uint16_t>(StrToInt("94036")), 28500);  // 94036 = 65536 + 28500
  EXPECT_EQ(StrToInt("-1"), -1);
  EXPECT_EQ(StrToInt("$6F54"), 28500);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_THROW(StrToInt(" 1"), EConvertError);
  EXPECT_THROW(StrToInt("99999999999"), EConvertError);
}

}  // namespace
}  // namespace zq::test

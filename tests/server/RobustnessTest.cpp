// The server when its log cannot be written, when client text would reach the log raw, and
// what shutdown leaves behind.
#include <filesystem>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ServerTest, ALogThatCannotBeWrittenCostsAConsoleLineAndNothingElse) {
  StartServer();
  ASSERT_TRUE(WaitUntil([&] { return LineIndex("SGM: GameManager startup.") > 0; }));
  ConsoleCapture console;
  fs::remove(dir_ / "ZQOSRV.LOG");
  fs::create_directory(dir_ / "ZQOSRV.LOG");  // its place is taken: every line fails
  const std::size_t logged = view_.lines.size();

  TZQClient& a = Join("alice");
  TZQClient& b = Join("bob");
  EXPECT_EQ(a.Guid(), 1u);
  EXPECT_EQ(b.Guid(), 2u);
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }))
      << "the game goes on without its log lines";
  b.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_EQ(server_->Status().Connected, 1) << "the count does not leak";
  TZQClient& c = Join("carol");  // takes number 2 again, not a spare entry
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));
  EXPECT_EQ((*server_->Status().Players)[1].SocketID, 2);
  c.SendClientSay("heard");
  EXPECT_TRUE(c.WaitFor<msg::PlayerSpeech>(10000, pump_));

  server_->Shutdown();  // its first line fails too; the rest of it runs
  EXPECT_FALSE(server_->ServerStarted());
  EXPECT_EQ(view_.lines.size(), logged);
  const int complaints = console.CountContaining("Cannot write the log: ");
  EXPECT_GE(complaints, 1);
  EXPECT_LE(complaints, 3) << "at most one a second";
}

TEST_F(ServerTest, ANameWithLineBreaksCannotForgeALogLine) {
  StartServer();
  Join("evil\r\n12/09/26 01:00:00 Server shutdown.\x1b[2J");
  ASSERT_TRUE(WaitUntil([&] { return CountLines("SGM: Added player evil") == 1; }));
  const std::string log = ReadFile(dir_ / "ZQOSRV.LOG");
  EXPECT_NE(log.find("SGM: Added player evil\\x0D\\x0A12/09/26 01:00:00 Server shutdown.\\x1B[2"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("\r\n12/09/26 01:00:00 Server shutdown."), std::string::npos);
}

TEST_F(ServerTest, ShutdownLeavesNoRecordPointingAtAClosedConnection) {
  StartServer();
  Join("alice");
  Join("bob");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));
  // The connections' part of the shutdown frees every record with its endpoint, before the
  // threads end (they may still send).
  TRunningServer& run = *server_->Running();
  run.Connections().Stop();
  for (const TSocketID& client : run.Sockets()) {
    EXPECT_FALSE(client.InUse());
    EXPECT_EQ(client.Socket, nullptr);
    EXPECT_EQ(client.UDP, nullptr);
  }
  server_->Shutdown();
  EXPECT_EQ(server_->Running(), nullptr);
  EXPECT_FALSE(server_->Status().Running);
}

}  // namespace
}  // namespace zq::test

// zqosrv under the journal: a socket pair of the test's own as standard output and error,
// named in JOURNAL_STREAM. Every line begins with its priority and carries no stamp; the log
// file keeps its stamped lines (ISO dates when asked); the developers' traces only with
// --verbose; failed starts and reloads are errors; --log-file none leaves the file out.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "tests/server/ServerFixture.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/JournalStream.h"
#include "tools/client/WireFormat.h"

namespace zq::test {
namespace {

std::vector<std::string> LinesOf(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, next; (next = text.find(end, at)) != std::string::npos;
       at = next + end.size())
    lines.push_back(text.substr(at, next - at));
  return lines;
}

class JournalTest : public ::testing::Test {
 protected:
  JournalTest() { mkworld::WriteInstallation(game_.Path()); }

  std::unique_ptr<TServerProcess> Start(const std::string& keys,
                                        std::vector<std::string> options = {}) {
    config_ = out_ / "world.conf";
    WriteFile(config_, keys + "base_udp_port = " + std::to_string(range_.Base()) +
                           "\ntcp_port = 0\nlisten = 127.0.0.1\nsetup_timeout = 0\n");
    std::vector<std::string> args = {"--headless", "--config", config_, "--game-dir", game_.Path()};
    args.insert(args.end(), options.begin(), options.end());
    auto server = std::make_unique<TServerProcess>(out_.Path(), args,
                                                   std::vector<std::string>{journal_.Variable()},
                                                   nullptr, journal_.ServiceEnd());
    journal_.CloseServiceEnd();
    return server;
  }

  TempDir out_, game_;
  TUdpPortRange range_;
  TJournalStream journal_;
  std::string config_;
};

TEST_F(JournalTest, EveryLineHasItsPriorityAndNoStampWhileTheFileKeepsItsStamps) {
  auto server = Start("log_dates = iso\n");
  ASSERT_TRUE(journal_.WaitFor("<5>Server is TCP listening on ")) << journal_.Text();
  const uint16_t port = ListeningPortIn(journal_.Text());
  ASSERT_TRUE(journal_.WaitFor("<5>Listening on 127.0.0.1:" + std::to_string(port) + " (UDP " +
                               std::to_string(range_.Base() + 1) + "-" +
                               std::to_string(range_.Base() + 63) + "); try: zqo-bot --port " +
                               std::to_string(port) + "\n"))
      << journal_.Text();
  TZQClient client;
  client.Connect("127.0.0.1", port);
  ASSERT_TRUE(client.WaitUntil([&] { return client.Greeted(); }, 30000));
  client.SendRaw(wire::Frame(wire::ClientUDPPort, ""), Via::Tcp);  // a diagnostic's warning
  ASSERT_TRUE(journal_.WaitFor("<4>Short payload for 0x28 ")) << journal_.Text();

  WriteFile(config_, "max_clients = lots\n");  // the reload fails and says why, as an error
  server->Signal(SIGHUP);
  ASSERT_TRUE(journal_.WaitFor("<3>Reload failed, nothing changed: ")) << journal_.Text();
  server->Signal(SIGTERM);
  EXPECT_EQ(server->Wait(), 0);
  ASSERT_TRUE(journal_.WaitForEnd());

  const std::vector<std::string> lines = LinesOf(journal_.Text(), "\n");
  const std::vector<std::string> logged = LinesOf(ReadFile(game_ / "ZQOSRV.LOG"), "\r\n");
  std::vector<std::string> fromLog;  // the journal's lines that standard output carried
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, std::regex("<[3-7]>.*"))) << line;
    EXPECT_FALSE(std::regex_search(line, std::regex("^<.>[0-9]{4}-[0-9]{2}-[0-9]{2} "))) << line;
  }
  for (const std::string& line : logged) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m,
                                 std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} "
                                            "[0-9]{2}:[0-9]{2}:[0-9]{2} (.*)")))
        << "ISO dates in the file: " << line;
    const std::string message = m[1];
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.substr(3) == message; }),
              1)
        << "each of the file's lines once in the journal: " << message;
  }
  const auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has("<5>Server shutdown."));
  EXPECT_TRUE(has("<5>Reload requested."));
  EXPECT_TRUE(
      std::regex_search(journal_.Text(), std::regex("\n<6>Connected from 127\\.0\\.0\\.1:")))
      << journal_.Text();
  EXPECT_EQ(journal_.Text().find("opened "), std::string::npos) << "traces only with --verbose";
}

// A failed start is an error the journal shows; --verbose adds the developers' traces at
// debug; without a log file the journal has the lines all the same.
TEST_F(JournalTest, AFailedStartIsAnErrorAndVerboseShowsTheTraces) {
  auto server =
      Start("log_file = none\naccounts = " + (out_ / "missing/zqosrv.db") + "\n", {"--verbose"});
  EXPECT_EQ(server->Wait(), 1);
  ASSERT_TRUE(journal_.WaitForEnd());
  const std::string text = journal_.Text();
  EXPECT_TRUE(std::regex_search(text, std::regex("(^|\n)<7>opened [^\n]*SHAPES.VGA count=")))
      << text;
  EXPECT_TRUE(std::regex_search(text, std::regex("\n<3>Start-up failed: [^\n]*missing"))) << text;
  EXPECT_NE(text.find("<5>* Server is version "), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(game_ / "ZQOSRV.LOG"));
  EXPECT_FALSE(std::filesystem::exists(game_ / "none"));
}

// The check a reload runs first fails as an error of the journal's, so that `journalctl -p
// err` shows why `systemctl reload` failed; without a log file it has none to check.
TEST_F(JournalTest, AFailedConfigurationCheckIsAnError) {
  auto check = Start("max_clients = lots\n", {"--check-config"});
  EXPECT_EQ(check->Wait(), 1);
  ASSERT_TRUE(journal_.WaitForEnd());
  EXPECT_TRUE(std::regex_search(journal_.Text(), std::regex("(^|\n)<3>[^\n]*max_clients")))
      << journal_.Text();

  TJournalStream second;
  WriteFile(config_, "log_file = none\nbase_udp_port = " + std::to_string(range_.Base()) + "\n");
  TServerProcess passed(out_.Path(),
                        {"--check-config", "--config", config_, "--game-dir", game_.Path()},
                        {second.Variable()}, nullptr, second.ServiceEnd());
  second.CloseServiceEnd();
  EXPECT_EQ(passed.Wait(), 0) << second.Text();
  ASSERT_TRUE(second.WaitForEnd());
  EXPECT_NE(second.Text().find(", log none, "), std::string::npos) << second.Text();
  EXPECT_FALSE(std::filesystem::exists(game_ / "ZQOSRV.LOG"));
}

}  // namespace
}  // namespace zq::test

#include "tools/soak/LogCheck.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace zq {
namespace {

std::vector<std::string> Stamped(const std::vector<std::string>& messages) {
  std::vector<std::string> lines;
  for (const std::string& m : messages) lines.push_back("12/09/26 01:02:03 AM " + m + "\r");
  return lines;
}

const std::vector<std::string> SHUTDOWN = {
    "Server shutdown.", "SGM: GameManager shutdown. WaitResult=wrTimeout Terminated=True",
    "DM: DispatchManager shutdown. WaitResult=wrTimeout Terminated=True"};

std::vector<std::string> With(std::vector<std::string> messages,
                              const std::vector<std::string>& tail = SHUTDOWN) {
  messages.insert(messages.end(), tail.begin(), tail.end());
  return Stamped(messages);
}

TEST(SoakLogCheck, EveryConnectionMatchedAndShutdownComplete) {
  const TLogCheck ok = CheckServerLog(
      With({"Connected from 127.0.0.1:4000", "Connected from 127.0.0.1:4001",
            "Client 127.0.0.1 dropped due to beat timeout.", "Disconnected 127.0.0.1:4001",
            "Disconnected 127.0.0.1:4000", "Connected from 127.0.0.1:4000",  // port used again
            "Disconnected 127.0.0.1:4000"}));
  EXPECT_TRUE(ok.Problems.empty()) << ok.Problems.front();
  EXPECT_EQ(ok.Connected, 3);
  EXPECT_EQ(ok.Disconnected, 3);
  EXPECT_EQ(ok.BeatDrops, 1);
}

TEST(SoakLogCheck, UnmatchedLinesAndMissingShutdownLinesAreProblems) {
  const TLogCheck leak =
      CheckServerLog(With({"Connected from 127.0.0.1:4000", "Connected from 127.0.0.1:4000",
                           "Disconnected 127.0.0.1:4000", "Disconnected 127.0.0.1:5000"}));
  ASSERT_EQ(leak.Problems.size(), 2u);
  EXPECT_EQ(leak.Problems[0], "line 4: Disconnected 127.0.0.1:5000 without its Connected line");
  EXPECT_EQ(leak.Problems[1], "Connected from 127.0.0.1:4000 without its Disconnected line");

  EXPECT_EQ(CheckServerLog(With({}, {})).Problems.size(), 3u);
  // The threads' lines count only after "Server shutdown.".
  const TLogCheck early = CheckServerLog(With({}, {SHUTDOWN[1], SHUTDOWN[2], SHUTDOWN[0]}));
  EXPECT_EQ(early.Problems.size(), 2u);
  EXPECT_EQ(CheckServerLogFile("/nonexistent/ZQOSRV.LOG").Problems.size(), 1u);

  test::TempDir dir;
  test::WriteFile(dir / "ZQOSRV.LOG", "01/01/26 1:00:00 Connected from 127.0.0.1:1\r\n");
  EXPECT_EQ(CheckServerLogFile(dir / "ZQOSRV.LOG").Problems.size(), 4u);
}

}  // namespace
}  // namespace zq

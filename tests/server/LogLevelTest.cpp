// The log's threshold (log_level): lines below it reach neither the file nor the view, and a
// reload that lowers it lets them through from then on.
#include <algorithm>

#include "platform/Console.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

// The view's lines without their stamps ("<date> <time> ").
std::vector<std::string> Unstamped(const std::vector<std::string>& lines) {
  std::vector<std::string> messages;
  for (const std::string& line : lines)
    messages.push_back(line.substr(line.find(' ', line.find(' ') + 1) + 1));
  return messages;
}

TEST_F(ServerTest, LinesBelowTheLogLevelReachNeitherTheFileNorTheView) {
  settings_.LogLevel = TLogLevel::Warning;
  StartServer();
  EXPECT_EQ(Unstamped(Messages()), std::vector<std::string>{}) << "a clean start has no warning";
  server_->SetPaused(true);  // a milestone
  server_->Log(TLogLevel::Warning, "a warning");
  server_->Log(TLogLevel::Error, "an error");
  EXPECT_EQ(Unstamped(Messages()), (std::vector<std::string>{"a warning", "an error"}));

  TServerSettings reloaded = settings_;
  reloaded.LogLevel = TLogLevel::Info;
  server_->ApplyRunningSettings(reloaded);
  server_->SetPaused(false);
  server_->Log(TLogLevel::Debug, "a trace");
  EXPECT_EQ(Unstamped(Messages()),
            (std::vector<std::string>{"a warning", "an error", "Server resumed."}));
  const std::string file = ReadFile(dir_ / "ZQOSRV.LOG");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3) << file;
  EXPECT_EQ(file.find("paused"), std::string::npos) << file;
  SetConsoleThreshold(TLogLevel::Info);  // the reload set the process's; as the others expect
}

}  // namespace
}  // namespace zq::test

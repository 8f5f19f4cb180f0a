// `zqosrv --check-config` as the unit's reload runs it: it refuses what a start refuses, with
// the start's own message, writes nothing into the game directory, and leaves a running
// server (and its lock) alone; a second server on a game directory in use is refused before
// it writes anything.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "tests/server/ServerFixture.h"
#include "tests/server/ServerProcess.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

// Every file and directory below `dir`, with its size and time of change.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Tree(const std::string& dir) {
  std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> entries;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    entries[entry.path()] = {entry.is_regular_file() ? entry.file_size() : 0,
                             entry.last_write_time()};
  return entries;
}

class ConfigCheckTest : public ::testing::Test {
 protected:
  // The program's exit status, standard output and error.
  struct TRun {
    int Status;
    std::string Out, Err;
  };
  TRun Run(std::vector<std::string> args) {
    TServerProcess p(out_.Path(), std::move(args));
    const int status = p.Wait();
    return {status, p.Stdout(), p.Stderr()};
  }
  std::string Config(const std::string& text) {
    const std::string path = out_ / ("world" + std::to_string(++configs_) + ".conf");
    WriteFile(path, text);
    return path;
  }
  std::vector<std::string> Ports() const {
    return {"--tcp-port", "0", "--base-udp-port", std::to_string(range_.Base())};
  }

  TempDir out_, games_;
  TUdpPortRange range_;
  int configs_ = 0;
};

struct TBroken {
  const char* What;
  // Spoils the fresh installation `game` and gives the configuration's text.
  std::function<std::string(const std::string& game, const std::string& out)> Arrange;
  const char* Names;  // what the message names
};

TEST_F(ConfigCheckTest, WhatAStartRefusesTheCheckRefusesFirstInTheSameWordsWritingNothing) {
  const TBroken cases[] = {
      {"a value", [](const std::string&, const std::string&) { return "max_clients = lots\n"; },
       "max_clients: 'lots' is not an integer"},
      {"no game directory",
       [](const std::string&, const std::string& out) { return "game_dir = " + out + "/none\n"; },
       "Cannot use game directory"},
      {"no installation",
       [](const std::string& game, const std::string&) {
         fs::remove_all(game + "/STATIC");
         return std::string();
       },
       "holds no STATIC"},
      {"the log's directory",
       [](const std::string&, const std::string& out) {
         return "log_file = " + out + "/no/dir/ZQOSRV.LOG\n";
       },
       "Cannot create log file"},
      {"the initial game",
       [](const std::string& game, const std::string&) {
         fs::remove(game + "/STATIC/INITGAME.DAT");
         return std::string();
       },
       "INITGAME.DAT"},
      {"the identity",
       [](const std::string& game, const std::string&) {
         fs::create_directories(game + "/SRVDAT");
         return std::string();
       },
       "IDENTITY"},
      {"the accounts file",
       [](const std::string& game, const std::string&) {
         fs::create_directories(game + "/a-directory.db");
         return "accounts = a-directory.db\n";
       },
       "a-directory.db"},
  };
  int n = 0;
  for (const TBroken& broken : cases) {
    SCOPED_TRACE(broken.What);
    const std::string game = games_ / ("case" + std::to_string(++n));
    mkworld::WriteInstallation(game);
    const std::string config = Config(broken.Arrange(game, out_.Path()));
    std::vector<std::string> args = {"--config", config, "--game-dir", game};
    if (std::string(broken.What) == "no game directory") args.resize(2);
    const auto before = Tree(games_.Path());

    std::vector<std::string> check = args;
    check.push_back("--check-config");
    const TRun checked = Run(check);
    EXPECT_EQ(checked.Status, 1) << checked.Out;
    EXPECT_NE(checked.Err.find(broken.Names), std::string::npos) << checked.Err;
    EXPECT_EQ(checked.Out, "");
    EXPECT_EQ(Tree(games_.Path()), before) << "the check wrote into a game directory";

    std::vector<std::string> start = args;
    start.push_back("--headless");
    for (const std::string& a : Ports()) start.push_back(a);
    const TRun started = Run(start);
    EXPECT_EQ(started.Status, 1);
    // The start's last line on standard error is its reason (traces may come before it).
    ASSERT_GE(started.Err.size(), checked.Err.size()) << started.Err;
    EXPECT_EQ(started.Err.substr(started.Err.size() - checked.Err.size()), checked.Err)
        << started.Err;
  }
}

TEST_F(ConfigCheckTest, AGoodConfigurationPassesBesideARunningServerWhichGoesOnHoldingItsLock) {
  const std::string game = games_ / "world";
  mkworld::WriteInstallation(game);
  const std::string config = Config("game_dir = " + game + "\nmax_clients = 8\n");
  // Before the first start: nothing is unpacked, logged or created by the check.
  const auto fresh = Tree(games_.Path());
  TRun checked = Run({"--check-config", "--config", config});
  EXPECT_EQ(checked.Status, 0) << checked.Err;
  EXPECT_EQ(checked.Out, "Configuration checked: game directory " + game + "/, log " + game +
                             "/ZQOSRV.LOG, accounts file " + game + "/zqosrv.db.\n");
  EXPECT_EQ(Tree(games_.Path()), fresh);

  std::vector<std::string> args = {"--headless", "--config", config};
  for (const std::string& a : Ports()) args.push_back(a);
  TServerProcess server(out_.Path(), args);
  const std::string log = game + "/ZQOSRV.LOG";
  ASSERT_TRUE(WaitForText(log, "SGM: GameManager startup.")) << server.Stderr();
  const std::string logged = ReadFile(log);
  checked = Run({"--check-config", "--config", config});
  EXPECT_EQ(checked.Status, 0) << checked.Err;
  EXPECT_EQ(ReadFile(log), logged);

  // The lock is still the server's: a second server on the directory is refused, naming it,
  // before it writes a line of its own.
  const TRun second = Run(args);
  EXPECT_EQ(second.Status, 1);
  EXPECT_EQ(second.Err, "Game directory " + game + "/ is in use by process " +
                            std::to_string(server.Pid()) + " (it holds " + game +
                            "/zqosrv.lock)\n");
  EXPECT_EQ(ReadFile(log), logged);
  EXPECT_TRUE(server.Running());
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
}

}  // namespace
}  // namespace zq::test

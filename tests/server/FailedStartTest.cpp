// A start that fails, at each step that can fail, ends what the steps before it began: no
// thread, socket or file is left open, the server is not started, and the log (once open)
// says why as its last line.

#include <filesystem>
#include <functional>

#include "platform/Errors.h"
#include "platform/FileLock.h"
#include "server/StartSteps.h"
#include "tests/server/ServerFixture.h"
#include "tests/support/HeldPort.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

std::size_t Entries(const char* directory) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++n;
  return n;
}

struct TResources {
  std::size_t Threads = 0, Files = 0;
  bool operator==(const TResources&) const = default;
};

TResources Now() {
  return {Entries("/proc/self/task"), Entries("/proc/self/fd")};
}

struct TFailure {
  const char* Step;
  // Prepares the directory and the settings so that the step fails.
  std::function<void(const std::string& dir, TServerSettings& settings)> Arrange;
  bool Logged;        // the log is open when it fails, and says why
  const char* Names;  // what the error names
};

TEST_F(ServerTest, AStartThatFailsAtAnyStepLeavesNothingRunningOrOpen) {
  // One start and shutdown first, so that what Qt and the libraries make once per process
  // is not counted against the failures.
  StartServer();
  server_->Shutdown();
  server_.reset();
  THeldPort held;
  // Another server's lock on a game directory of its own.
  const std::string locked = dir_ / "locked";
  mkworld::WriteInstallation(locked);
  const TFileLock otherServer(locked + "/" + GAME_DIRECTORY_LOCK, "Game directory " + locked);
  const TFailure failures[] = {
      {"the settings", [](const std::string&, TServerSettings& s) { s.BaseUdpPortText = "x"; },
       false, "Base UDP Port"},
      {"the installation",
       [](const std::string& d, TServerSettings& s) {
         s.GameDirectory = d + "/nowhere";
         fs::create_directories(s.GameDirectory);
       },
       false, "STATIC"},
      {"the lock", [&](const std::string&, TServerSettings& s) { s.GameDirectory = locked; }, false,
       "is in use by process"},
      {"the log", [](const std::string& d, TServerSettings& s) { s.LogFile = d + "/no/dir/log"; },
       false, "no/dir/log"},
      {"the data directory",
       [](const std::string& d, TServerSettings&) {
         fs::remove_all(d + "/SRVDAT");
         fs::resize_file(d + "/STATIC/INITGAME.DAT", 10);
       },
       true, "INITGAME"},
      {"the identity",
       [](const std::string& d, TServerSettings&) {
         fs::create_directories(d + "/SRVDAT");
         fs::remove(d + "/SRVDAT/IDENTITY");
       },
       true, "IDENTITY"},
      {"the world",
       [](const std::string& d, TServerSettings&) { fs::remove(d + "/STATIC/TFA.DAT"); }, true,
       "TFA.DAT"},
      {"the accounts file",
       [](const std::string& d, TServerSettings& s) {
         fs::create_directories(d + "/a-directory.db");
         s.AccountsFile = d + "/a-directory.db";
       },
       true, "a-directory.db"},
      {"the listener",
       [&held](const std::string&, TServerSettings& s) {
         s.ListenAddress = "127.0.0.1";
         s.TcpPort = held.Port();
       },
       true, "TCP port"},
  };
  const TResources before = Now();
  int n = 0;
  for (const TFailure& failure : failures) {
    SCOPED_TRACE(failure.Step);
    const std::string dir = dir_ / ("case" + std::to_string(++n));
    mkworld::WriteInstallation(dir);
    TServerSettings settings;
    settings.GameDirectory = dir;
    settings.TcpPort = 0;
    settings.BaseUdpPortText = std::to_string(BaseUdpPort());
    failure.Arrange(dir, settings);
    view_.lines.clear();
    {
      TZQOServer server(view_, TServerOptions{});
      try {
        server.StartServer(settings);
        ADD_FAILURE() << "the start succeeded";
      } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find(failure.Names), std::string::npos) << e.what();
      }
      EXPECT_FALSE(server.ServerStarted());
      EXPECT_EQ(server.Running(), nullptr);
      EXPECT_TRUE(WaitUntil([&] { return Now() == before; }))
          << "threads " << Now().Threads << " (were " << before.Threads << "), files "
          << Now().Files << " (were " << before.Files << ")";
      if (failure.Logged) {
        ASSERT_FALSE(view_.lines.empty());
        EXPECT_EQ(CountLines("Start-up failed: "), 1);
      } else {
        EXPECT_EQ(CountLines("Start-up failed: "), 0);
      }
    }
    EXPECT_EQ(Now(), before);
  }
}

TEST_F(ServerTest, ASecondStartAfterAFailedOneListensOnceThePortIsFree) {
  mkworld::WriteInstallation(dir_.Path());
  THeldPort held;
  TServerSettings settings;
  settings.GameDirectory = dir_.Path();
  settings.ListenAddress = "127.0.0.1";
  settings.TcpPort = held.Port();
  settings.BaseUdpPortText = std::to_string(BaseUdpPort());
  server_ = std::make_unique<TZQOServer>(view_, TServerOptions{});
  try {
    server_->StartServer(settings);
    ADD_FAILURE() << "the start succeeded on a taken port";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("TCP port"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(server_->ServerStarted());

  held.Release();
  server_->StartServer(settings);
  ASSERT_TRUE(server_->ServerStarted());
  EXPECT_EQ(server_->Status().ListeningPort, held.Port());
  EXPECT_EQ(CountLines("Start-up failed: "), 1);
  EXPECT_EQ(CountLines("Server initialization:"), 2);
  // A start while running does nothing.
  const std::size_t lines = view_.lines.size();
  server_->StartServer(settings);
  EXPECT_EQ(view_.lines.size(), lines);
  TZQClient& client = Join("Second");
  EXPECT_EQ(client.Setup(), SetupState::InGame);
}

}  // namespace
}  // namespace zq::test

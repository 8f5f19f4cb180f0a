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

namespace zq::test {
namespace {

// A zqosrv process with its standard output and error in files of the test's directory.
class TServerProcess {
 public:
  TServerProcess(const std::string& dir, std::vector<std::string> args) : dir_(dir) {
    args.insert(args.begin(), ZQOSRV_BINARY);
    // The signals a server watches are blocked from the fork on (the program starts with
    // them blocked, as it blocks them itself first thing): a signal sent at once must wait
    // for the program, not end the child before it runs.
    sigset_t watched, old;
    sigemptyset(&watched);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&watched, s);
    ::pthread_sigmask(SIG_BLOCK, &watched, &old);
    pid_ = ::fork();
    if (pid_ != 0) ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (pid_ == 0) {
      std::freopen((dir + "/stdout").c_str(), "w", stdout);
      std::freopen((dir + "/stderr").c_str(), "w", stderr);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~TServerProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void Signal(int number) { ::kill(pid_, number); }
  // The exit status, or -1 (and the process killed) when it has not ended within the time.
  int Wait(int timeoutMs = 60000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  bool Running() { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  std::string Stderr() const { return ReadFile(dir_ + "/stderr"); }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 60000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (ReadFile(path).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

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
  auto run = [&](std::vector<std::string> args) {
    TServerProcess p(out_.Path(), std::move(args));
    const int status = p.Wait();
    return std::make_pair(status, p.Stderr());
  };
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

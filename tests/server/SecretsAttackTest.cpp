// Attacks on the server's own output: a reader of the log file, of the journal (standard
// output) or of a printed configuration looks for the admin token there.
#include <signal.h>
#include <sys/stat.h>

#include "tests/server/ServerFixture.h"
#include "tests/server/ServerProcess.h"

namespace zq::test {
namespace {

const std::string OLD_TOKEN = "old-token-0123456789abcdef";
const std::string NEW_TOKEN = "new-token-fedcba9876543210";

class SecretsAttackTest : public ::testing::Test {
 protected:
  SecretsAttackTest() { mkworld::WriteInstallation(game_.Path()); }
  std::string Config(const std::string& token) const {
    return "tcp_port = 0\nlisten = 127.0.0.1\nbase_udp_port = " + std::to_string(range_.Base()) +
           "\nmax_clients = 4\nadmin_token = \"" + token + "\"\n";
  }
  TempDir out_, game_;
  TUdpPortRange range_;
};

// The operator changes the token and reloads: the change is logged, its values are not,
// and a log made under the usual umask is not for everybody to read.
TEST_F(SecretsAttackTest, AReloadThatChangesTheTokenShowsNeitherTokenAnywhere) {
  const std::string config = out_ / "world.conf";
  WriteFile(config, Config(OLD_TOKEN));
  const mode_t umaskBefore = ::umask(022);
  TServerProcess server(out_.Path(),
                        {"--headless", "--config", config, "--game-dir", game_.Path()});
  ::umask(umaskBefore);
  const std::string log = game_ / "ZQOSRV.LOG";
  ASSERT_TRUE(WaitForText(log, "SGM: GameManager startup.")) << server.Stderr();

  WriteFile(config, Config(NEW_TOKEN) + "max_per_address = 3\n");
  server.Signal(SIGHUP);
  ASSERT_TRUE(WaitForText(log, "Reload: max_per_address 0 -> 3")) << ReadFile(log);
  server.Signal(SIGTERM);
  ASSERT_EQ(server.Wait(), 0) << server.Stderr();

  const std::string logText = ReadFile(log), journal = server.Stdout(), errors = server.Stderr();
  EXPECT_NE(logText.find("Reload: admin_token (changed) (takes effect at the next start)"),
            std::string::npos)
      << logText;
  for (const std::string& token : {OLD_TOKEN, NEW_TOKEN}) {
    for (const std::string& secret : {token, token.substr(0, 12)}) {
      EXPECT_EQ(logText.find(secret), std::string::npos) << "the log file shows " << secret;
      EXPECT_EQ(journal.find(secret), std::string::npos) << "standard output shows " << secret;
      EXPECT_EQ(errors.find(secret), std::string::npos) << "standard error shows " << secret;
    }
  }
  struct stat st {};
  ASSERT_EQ(::stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << std::oct << (st.st_mode & 0777);
}

TEST_F(SecretsAttackTest, ThePrintedConfigurationHidesTheTokenUnlessAskedToShowIt) {
  const std::string config = out_ / "world.conf";
  WriteFile(config, Config(OLD_TOKEN));
  TServerProcess print(out_.Path(), {"--config", config, "--print-config"});
  ASSERT_EQ(print.Wait(), 0) << print.Stderr();
  const std::string printed = print.Stdout();  // the next run writes over it
  EXPECT_NE(printed.find("\nadmin_token = (set)\n"), std::string::npos) << printed;
  EXPECT_EQ(printed.find(OLD_TOKEN), std::string::npos) << printed;

  TServerProcess shown(out_.Path(), {"--config", config, "--print-config", "--show-secrets"});
  ASSERT_EQ(shown.Wait(), 0) << shown.Stderr();
  EXPECT_NE(shown.Stdout().find("\nadmin_token = \"" + OLD_TOKEN + "\"\n"), std::string::npos)
      << shown.Stdout();

  // A printed configuration is no way round: "(set)" is no token, and reading it is refused.
  WriteFile(config, printed);
  TServerProcess reread(out_.Path(), {"--config", config, "--print-config"});
  EXPECT_EQ(reread.Wait(), 1);
  EXPECT_NE(reread.Stderr().find("admin_token"), std::string::npos) << reread.Stderr();
}

}  // namespace
}  // namespace zq::test

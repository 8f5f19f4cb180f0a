// The server's command line: options from the table, the file under them, one check of the
// result naming each value by where it came from, refusals in words of our own, and a help
// text with every option and nothing of the library's.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "app/CommandLine.h"
#include "server/SettingsTable.h"
#include "tests/app/HelpCheck.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace zq::test {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  std::string RefusalOf(const std::vector<std::string>& args) {
    return ConvertErrorOf([&] { ParseCommandLine(args); });
  }

  TempDir dir_;
  std::string path_ = dir_ / "world.conf";
};

TEST_F(CommandLineTest, TheHelpShowsEveryOptionAndNothingOfTheLibrary) {
  const std::string usage = UsageText();
  EXPECT_TRUE(usage.starts_with("Usage: zqosrv [OPTIONS]\n")) << usage;
  for (const char* flag : {"\n  -h, --help ", "\n  --config FILE ", "\n  --print-config ",
                           "\n  --headless ", "\n  --start ", "\n  --version "})
    EXPECT_NE(usage.find(flag), std::string::npos) << flag;
  for (const TSetting& row : SettingsTable()) {
    const std::string entry = "\n  " + std::string(row.Option) + " " + row.ValueName + " ";
    EXPECT_NE(usage.find(entry), std::string::npos) << entry;
    // The help text follows, wrapped: its first and last words are there.
    const std::string& help = row.Help;
    EXPECT_NE(usage.find(help.substr(0, help.find(' '))), std::string::npos) << help;
    EXPECT_NE(usage.find(help.substr(help.rfind(' ') + 1)), std::string::npos) << help;
  }
  ExpectNoLibraryArtefacts(usage);
}

TEST_F(CommandLineTest, EveryOptionWithAValueIsAKeyAndEveryKeyAnOption) {
  // "--max-clients N" in the usage is the key max_clients (and --game-dir game_dir);
  // --config names the file itself.
  std::set<std::string> options, keys;
  const std::string usage = UsageText();
  const std::regex option("\n  --([a-z-]+) [A-Z]");
  for (auto m = std::sregex_iterator(usage.begin(), usage.end(), option);
       m != std::sregex_iterator(); ++m) {
    std::string name = (*m)[1];
    std::replace(name.begin(), name.end(), '-', '_');
    if (name != "config") options.insert(name);
  }
  for (const TSetting& k : SettingsTable()) keys.insert(k.Key);
  EXPECT_EQ(options, keys);
}

TEST_F(CommandLineTest, TheCommandLineWinsOverTheFile) {
  WriteFile(path_, "max_clients = 40\nserver_name = \"From file\"\ngame_dir = /srv/w\n");
  TCommandLine c = ParseCommandLine({"--config", path_, "--max-clients", "7"});
  EXPECT_EQ(c.Settings.MaxClients, 7);
  EXPECT_EQ(c.Settings.ServerName, "From file");
  EXPECT_EQ(c.Settings.GameDirectory, "/srv/w");
  EXPECT_TRUE(c.GameDirectoryGiven);
  EXPECT_EQ(c.ConfigFile, path_);
  EXPECT_EQ(c.Arguments, (std::vector<std::string>{"--config", path_, "--max-clients", "7"}));
  EXPECT_EQ(ParseCommandLine({"--config", path_, "--game-dir", "/x"}).Settings.GameDirectory, "/x");
  EXPECT_FALSE(ParseCommandLine({}).GameDirectoryGiven);
  EXPECT_TRUE(ParseCommandLine({"--game-dir", "/x"}).GameDirectoryGiven);

  // A value the file holds but the command line replaces is not the file's fault.
  WriteFile(path_, "listen = localhost\n");
  EXPECT_EQ(ParseCommandLine({"--config", path_, "--listen", "::1"}).Settings.ListenAddress, "::1");

  const std::string missing = dir_ / "none.conf";
  EXPECT_EQ(RefusalOf({"--config", missing}),
            "--config: Cannot read " + missing + ": No such file or directory");
}

TEST_F(CommandLineTest, ValuesAreReadByTheIntegerRuleAndTheLastOneWins) {
  EXPECT_EQ(ParseCommandLine({"--max-clients", "-3"}).Settings.MaxClients, -3);
  EXPECT_EQ(ParseCommandLine({"--max-clients=-3"}).Settings.MaxClients, -3);
  EXPECT_EQ(ParseCommandLine({"--spawn-x", "$1F"}).Settings.SpawnX, 31);
  EXPECT_EQ(ParseCommandLine({"--max-clients", "3", "--max-clients", "4"}).Settings.MaxClients, 4);
  EXPECT_EQ(ParseCommandLine({"--setup-timeout", "2"}).Settings.SetupTimeoutMs, 2000u);
  EXPECT_EQ(ParseCommandLine({"--auth", "claim"}).Settings.Auth, TAuthMode::Claim);
  EXPECT_EQ(ParseCommandLine({"--server-name", "--headless"}).Settings.ServerName, "--headless")
      << "a value may look like an option";
  const TCommandLine flags =
      ParseCommandLine({"--headless", "--start", "--print-config", "--base-udp-port", "94036"});
  EXPECT_TRUE(flags.Headless && flags.Start && flags.PrintConfig);
  EXPECT_EQ(flags.Settings.BaseUdpPort(), 28500);
}

// --verbose is log_level debug whatever the file or --log-level says; a level the file gives
// stays when it is not there.
TEST_F(CommandLineTest, VerboseIsTheDebugLevelOverTheFile) {
  WriteFile(path_, "log_level = warning\n");
  EXPECT_EQ(ParseCommandLine({"--config", path_}).Settings.LogLevel, TLogLevel::Warning);
  EXPECT_EQ(ParseCommandLine({"--config", path_, "--verbose"}).Settings.LogLevel, TLogLevel::Debug);
  EXPECT_EQ(ParseCommandLine({"--verbose", "--log-level", "info"}).Settings.LogLevel,
            TLogLevel::Debug);
  EXPECT_EQ(ParseCommandLine({}).Settings.LogLevel, TLogLevel::Info);
  EXPECT_EQ(ParseCommandLine({"--log-dates", "iso"}).Settings.LogDates, TLogDates::Iso);
  EXPECT_EQ(ParseCommandLine({"--log-file", "none"}).Settings.LogFile, NO_LOG_FILE);
}

TEST_F(CommandLineTest, RefusalsNameTheOptionOrTheFilesLine) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--max-clients", "x"}, "--max-clients: 'x' is not an integer"},
      {{"--tcp-port", "70000"}, "--tcp-port: '70000' is not a port (0 to 65535)"},
      {{"--setup-timeout", "86401"}, "--setup-timeout: '86401' is more than a day"},
      {{"--listen", "1.2.3"}, "--listen: '1.2.3' is not an IPv4 or IPv6 address"},
      {{"--log-file", ""}, "--log-file: '' names no file"},
      {{"--log-level", "trace"}, "--log-level: 'trace' is not debug, info or warning"},
      {{"--log-level", "Info"}, "--log-level: 'Info' is not debug, info or warning"},
      {{"--log-dates", "utc"}, "--log-dates: 'utc' is not locale or iso"},
      {{"--accounts", ""}, "--accounts: the file name is empty"},
      {{"--admin-token", "short"}, "--admin-token: at least 16 characters"},
      {{"--admin-listen", "8080"}, "--admin-listen: '8080' is not ADDRESS:PORT"},
      {{"--admin-proxy", "127.0.0.1:443"}, "--admin-proxy: '127.0.0.1:443' is not an IP address"},
      {{"--bogus"}, "Unknown option '--bogus' (see --help)"},
      {{"-x"}, "Unknown option '-x' (see --help)"},
      {{"--headless", "world"}, "Unexpected argument 'world' (see --help)"},
      {{"--", "--headless"}, "Unexpected argument '--headless' (see --help)"},
      {{"--headless", "--max-clients"}, "Missing value after '--max-clients'"},
      {{"--tcp-port", "28563", "--base-udp-port", "28500"},
       "TCP port 28563 lies in the UDP range 28501..28563 of base UDP port 28500 (client n uses "
       "base + n)"},
      {{"--print-config", "--tcp-port", "28501"},
       "TCP port 28501 lies in the UDP range 28501..28563 of base UDP port 28500 (client n uses "
       "base + n)"},
  };
  for (const auto& [args, refusal] : cases) EXPECT_EQ(RefusalOf(args), refusal) << args[0];

  // A value from the file is named by its line, a value given here by its option, also in
  // the rules between keys.
  WriteFile(path_, "; ports\ntcp_port = 8080\nadmin_listen = 0.0.0.0:8080\nlisten = nowhere\n");
  EXPECT_EQ(RefusalOf({"--config", path_}),
            path_ + ":4: listen: 'nowhere' is not an IPv4 or IPv6 address");
  EXPECT_EQ(RefusalOf({"--config", path_, "--listen", "127.0.0.1"}),
            path_ + ":3: admin_listen: '0.0.0.0:8080' takes the game's TCP port 8080 on 127.0.0.1");
  EXPECT_EQ(RefusalOf({"--config", path_, "--listen", "0.0.0.0", "--admin-listen", "[::]:8080",
                       "--tcp-port", "8080", "--listen", "::1"}),
            "--admin-listen: '[::]:8080' takes the game's TCP port 8080 on ::1");
  EXPECT_EQ(RefusalOf({"--config", path_, "--listen", "::1", "--max-clients", "x"}),
            "--max-clients: 'x' is not an integer")
      << "a text that is no value is refused before the values are checked";
}

TEST_F(CommandLineTest, HelpAndVersionWinOverEverythingElse) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--max-clients", "x", "--help"},
        std::vector<std::string>{"-h", "--config", dir_ / "none.conf"}}) {
    TCommandLine c;
    ASSERT_NO_THROW(c = ParseCommandLine(args)) << args[0];
    EXPECT_TRUE(c.Help);
  }
  const TCommandLine version = ParseCommandLine({"--version", "--tcp-port", "28501"});
  EXPECT_TRUE(version.Version);
  EXPECT_EQ(VersionText(), std::string("zqosrv ") + VersionString + "\n");
}

}  // namespace
}  // namespace zq::test

// The configuration file: every key to its field and back, the errors with file, line and key,
// lines as QSettings reads them, and the changes SIGHUP logs.
#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "platform/Errors.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace zq::test {
namespace {

class ConfigFileTest : public ::testing::Test {
 protected:
  // Writes `text` as the file, reads it over the defaults and checks it as its caller does.
  TServerSettings Read(const std::string& text) {
    WriteFile(path_, text);
    TServerSettings settings;
    const TConfigPlaces places = ReadConfigFile(path_, settings);
    CheckSettings(settings, [&](const TSetting& s) {
      return places.contains(s.Key) ? places.at(s.Key) : std::string(s.Key);
    });
    return settings;
  }
  // The error reading `text` raises, without the file's path.
  std::string ErrorOf(const std::string& text) {
    try {
      Read(text);
    } catch (const EConvertError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind(path_, 0), 0u) << what;
      return what.substr(path_.size());
    }
    ADD_FAILURE() << "no error for: " << text;
    return "";
  }

  TempDir dir_;
  std::string path_ = dir_ / "world.conf";
};

TEST_F(ConfigFileTest, EveryKeySetsItsFieldAndPrintsBackTheSame) {
  const TServerSettings s = Read(
      "game_dir = /srv/zq/world one\n"
      "server_name = \"Bob's \\\"best\\\" server\"\n"
      "listen = ::1\n"
      "tcp_port = 4000\n"
      "base_udp_port = $6F54\n"
      "max_clients = -3\n"
      "spawn_x = 70000\n"
      "spawn_y = 12\n"
      "setup_timeout = 0\n"
      "max_per_address = 4\n"
      "max_message_rate = 250\n"
      "log_file = /var/log/zqosrv/one.log\n"
      "log_level = debug\n"
      "log_dates = iso\n");
  EXPECT_EQ(s.GameDirectory, "/srv/zq/world one");
  EXPECT_EQ(s.ServerName, "Bob's \"best\" server");
  EXPECT_EQ(s.ListenAddress, "::1");
  EXPECT_EQ(s.TcpPort, 4000);
  EXPECT_EQ(s.BaseUdpPortText, "$6F54");
  EXPECT_EQ(s.MaxClients, -3);
  EXPECT_EQ(s.SpawnX, 70000);
  EXPECT_EQ(s.SpawnY, 12);
  EXPECT_EQ(s.SetupTimeoutMs, 0u);
  EXPECT_EQ(s.MaxPerAddress, 4u);
  EXPECT_EQ(s.MaxMessageRate, 250u);
  EXPECT_EQ(s.LogFile, "/var/log/zqosrv/one.log");
  EXPECT_EQ(s.LogLevel, TLogLevel::Debug);
  EXPECT_EQ(s.LogDates, TLogDates::Iso);

  // The printed file reads back to the same settings, and names every key once.
  const std::string printed = ConfigText(s);
  EXPECT_EQ(ConfigText(Read(printed)), printed);
  for (const TSetting& k : SettingsTable())
    EXPECT_NE(printed.find("\n" + std::string(k.Key) + " = "), std::string::npos) << k.Key;
}

TEST_F(ConfigFileTest, TextWithQuotesCommasControlsAndHexDigitsSurvivesPrinting) {
  for (const std::string& name :
       {std::string("a, b; c # d"), std::string("back\\slash \"quoted\""), std::string("  pad  "),
        std::string("tab\there\x01"
                    "beef\x7f"
                    "F"),
        std::string("\xc3\xa9t\xc3\xa9"), std::string("")}) {
    TServerSettings s;
    s.ServerName = name;
    EXPECT_EQ(Read(ConfigText(s)).ServerName, name) << ConfigText(s);
  }
}

TEST_F(ConfigFileTest, ErrorsNameTheLineAndTheKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"; comment\n\nmax_clients = 4x\n", ":3: max_clients: '4x' is not an integer"},
      {"tcp_port = 70000\n", ":1: tcp_port: '70000' is not a port (0 to 65535)"},
      {"base_udp_port = 65500\n",
       ":1: base_udp_port: '65500' gives client 36 the UDP port 0 (base + 36 wraps to 0)"},
      {"setup_timeout = 86401\n", ":1: setup_timeout: '86401' is more than a day"},
      {"max_per_address = -1\n", ":1: max_per_address: '-1' is below 0"},
      {"max_message_rate =\n", ":1: max_message_rate: '' is not an integer"},
      {"listen = localhost\n", ":1: listen: 'localhost' is not an IPv4 or IPv6 address"},
      {"log_file = \"\"\n", ":1: log_file: '' names no file"},
      {"server_name = a, b\n", ":1: server_name: a value with a comma must be in double quotes"},
      {"# note\nmax_client = 3\n", ":2: max_client: unknown key"},
      {"Max_Clients = 3\n", ":1: Max_Clients: unknown key"},
      {"tcp_port = 1\nspawn_x = 1\ntcp_port = 2\n", ":3: tcp_port: given again (first on line 1)"},
      {"tcp_port = x\nmax_clients = y\n", ":1: tcp_port: 'x' is not an integer"},
      {"[server]\ntcp_port = 1\n", ":1: '[server]': sections are not used"},
      {"tcp_port 1\n", ":1: 'tcp_port 1' is no \"key = value\" line"},
      {" = 1\n", ":1: '= 1' is no \"key = value\" line"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(ErrorOf(text), error) << text;
}

TEST_F(ConfigFileTest, LinesAreCountedAsWrittenWhateverTheirShape) {
  // A byte order mark, CR LF ends, a value that goes on in the next line, a comment ending in
  // a backslash (which does not go on), an escaped backslash at a line's end (which does not
  // either) and an inline comment: the bad key is still on line 8.
  EXPECT_EQ(ErrorOf("\xEF\xBB\xBFserver_name = a \\\r\n"
                    "  continued\r\n"
                    "; note \\\n"
                    "spawn_x = 1 ; inline\n"
                    "log_file = x\\\\\n"
                    "\n"
                    "   \t\n"
                    "bogus = 1\n"),
            ":8: bogus: unknown key");
  EXPECT_EQ(Read("server_name = a \\\n  continued\n").ServerName, "a   continued");
  EXPECT_EQ(Read("spawn_x = 5 ; the old spawn\n").SpawnX, 5);
}

TEST_F(ConfigFileTest, KeysLeftOutKeepTheirValuesAndAMissingFileNamesItself) {
  TServerSettings s;
  s.MaxClients = 9;
  s.ServerName = "kept";
  WriteFile(path_, "spawn_y = 3\n");
  ReadConfigFile(path_, s);
  EXPECT_EQ(s.MaxClients, 9);
  EXPECT_EQ(s.ServerName, "kept");
  EXPECT_EQ(s.SpawnY, 3);
  const std::string missing = dir_ / "none.conf";
  EXPECT_EQ(IoErrorOf([&] { ReadConfigFile(missing, s); }),
            "Cannot read " + missing + ": No such file or directory");
}

TEST_F(ConfigFileTest, ChangesListTheKeysThatDifferAndOnlyReloadableOnesAreTaken) {
  TServerSettings before, after;
  after.MaxClients = 5;
  after.TcpPort = 4000;
  after.SetupTimeoutMs = 2000;
  const auto changes = ConfigChanges(before, after);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_STREQ(changes[0].Setting->Key, "tcp_port");
  EXPECT_FALSE(changes[0].Setting->Reloadable);
  EXPECT_EQ(changes[0].Before, "12578");
  EXPECT_EQ(changes[0].After, "4000");
  EXPECT_STREQ(changes[1].Setting->Key, "max_clients");
  EXPECT_STREQ(changes[2].Setting->Key, "setup_timeout");
  EXPECT_EQ(changes[2].After, "2");

  TakeReloadable(after, before);
  EXPECT_EQ(before.MaxClients, 5);
  EXPECT_EQ(before.SetupTimeoutMs, 2000u);
  EXPECT_EQ(before.TcpPort, TCP_LISTEN_PORT);
  ASSERT_EQ(ConfigChanges(before, after).size(), 1u);
}

}  // namespace
}  // namespace zq::test

// The table of settings: every row complete and the defaults valid, the check of a whole
// TServerSettings with each caller's names, the rules between keys at their boundaries, and
// the empty texts the file may give and the command line may not.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "server/SettingsTable.h"
#include "tests/support/ErrorText.h"

namespace zq::test {
namespace {

std::string FaultOf(const TServerSettings& settings, const TSettingNames& names = OptionName) {
  try {
    CheckSettings(settings, names);
  } catch (const EConvertError& e) {
    return e.what();
  }
  return "";
}

const TSetting& Row(const char* key) {
  const TSetting* row = FindSetting(key);
  EXPECT_NE(row, nullptr) << key;
  return *row;
}

TEST(SettingsTableTest, EveryRowIsCompleteAndTheDefaultsPass) {
  const TServerSettings defaults;
  std::set<std::string> keys, reloadable, secret;
  for (const TSetting& row : SettingsTable()) {
    const std::string key = row.Key;
    EXPECT_TRUE(keys.insert(key).second) << key << " twice";
    std::string option = "--" + key;
    std::replace(option.begin(), option.end(), '_', '-');
    EXPECT_EQ(row.Option, option);
    const std::string value = row.ValueName;
    EXPECT_FALSE(value.empty()) << key;
    EXPECT_TRUE(
        std::none_of(value.begin(), value.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
        << key << ": " << value;
    EXPECT_NE(value, "TEXT") << key;
    EXPECT_NE(row.Help.find(" (default: "), std::string::npos) << row.Help;
    EXPECT_TRUE(row.Help.ends_with(").")) << row.Help;
    EXPECT_NE(std::string(row.Title), "") << key;
    if (row.Reloadable) reloadable.insert(key);
    if (row.Secret) secret.insert(key);
  }
  EXPECT_EQ(reloadable, (std::set<std::string>{"max_clients", "setup_timeout", "max_per_address",
                                               "max_message_rate", "auth", "log_level"}));
  EXPECT_EQ(secret, std::set<std::string>{"admin_token"});
  EXPECT_EQ(FaultOf(defaults), "");

  // The defaults in the help come from the values, in the file's units.
  EXPECT_NE(Row("max_clients").Help.find("(default: 32)"), std::string::npos);
  EXPECT_NE(Row("tcp_port").Help.find("(default: 12578)"), std::string::npos);
  EXPECT_NE(Row("setup_timeout").Help.find("(default: 30)"), std::string::npos);
  EXPECT_NE(Row("auth").Help.find("(default: open)"), std::string::npos);
  EXPECT_NE(Row("server_name").Help.find("(default: MyServer)"), std::string::npos);
}

TEST(SettingsTableTest, FaultsAreNamedAsTheCallerNamesTheSetting) {
  TServerSettings s;
  s.BaseUdpPortText = "28x00";
  EXPECT_EQ(FaultOf(s), "--base-udp-port: '28x00' is not an integer");
  EXPECT_EQ(FaultOf(s, TitleName), "Base UDP Port: '28x00' is not an integer");
  EXPECT_EQ(FaultOf(s, [](const TSetting& row) { return "east.conf:4: " + std::string(row.Key); }),
            "east.conf:4: base_udp_port: '28x00' is not an integer");

  // The first fault in the table's order, whatever else is wrong.
  s.ListenAddress = "localhost";
  EXPECT_EQ(FaultOf(s), "--listen: 'localhost' is not an IPv4 or IPv6 address");

  // What only a settings value can hold, beyond what a text's reading refuses.
  TServerSettings t;
  t.SetupTimeoutMs = 24 * 3600 * 1000 + 1000;
  EXPECT_EQ(FaultOf(t), "--setup-timeout: '86401' is more than a day");
  t.SetupTimeoutMs = 24 * 3600 * 1000;
  EXPECT_EQ(FaultOf(t), "");
  t.LogFile = "";
  EXPECT_EQ(FaultOf(t), "--log-file: '' names no file");
  TServerSettings u;
  u.AdminToken = std::string(15, 't');
  EXPECT_EQ(FaultOf(u), "--admin-token: at least 16 characters");
  u.AdminToken = std::string(16, 't');
  u.ServerName = std::string(70000, 'n');
  EXPECT_NE(FaultOf(u, TitleName).find("Server name: 70000 bytes"), std::string::npos);
}

TEST(SettingsTableTest, ATcpPortInsideTheUdpRangeIsRefusedAtItsEdgesOnly) {
  TServerSettings s;
  s.BaseUdpPortText = "94036";  // its low 16 bits: 28500
  for (const uint16_t port : {28501, 28563}) {
    s.TcpPort = port;
    EXPECT_EQ(FaultOf(s), "TCP port " + std::to_string(port) +
                              " lies in the UDP range 28501..28563 of base UDP port 28500 "
                              "(client n uses base + n)");
  }
  for (const uint16_t port : {0, 28500, 28564}) {
    s.TcpPort = port;
    EXPECT_EQ(FaultOf(s), "") << port;
  }
  s.BaseUdpPortText = "$FFC0";  // 65472: the range ends at 65535
  s.TcpPort = 65535;
  EXPECT_NE(FaultOf(s).find("lies in the UDP range 65473..65535"), std::string::npos);
}

TEST(SettingsTableTest, TheAdminApiCannotTakeTheGamesPortOnTheGamesAddress) {
  struct TCase {
    const char* Listen;
    const char* Admin;
    uint16_t TcpPort;
    bool Refused;
  };
  const TCase cases[] = {
      {"0.0.0.0", "127.0.0.1:12578", 12578, true},  // every IPv4 address holds it
      {"127.0.0.1", "127.0.0.1:12578", 12578, true},
      {"127.0.0.1", "0.0.0.0:12578", 12578, true},
      {"::", "[::1]:12578", 12578, true},
      {"::1", "[::]:12578", 12578, true},
      {"127.0.0.1", "127.0.0.2:12578", 12578, false},
      {"0.0.0.0", "[::1]:12578", 12578, false},  // the other family
      {"::", "127.0.0.1:12578", 12578, false},   // the game listens IPv6 only
      {"0.0.0.0", "127.0.0.1:12579", 12578, false},
      {"0.0.0.0", "127.0.0.1:0", 0, false},  // both any free port
      {"0.0.0.0", "127.0.0.1:0", 12578, false},
  };
  for (const TCase& c : cases) {
    TServerSettings s;
    s.ListenAddress = c.Listen;
    s.AdminListen = c.Admin;
    s.TcpPort = c.TcpPort;
    EXPECT_EQ(!FaultOf(s).empty(), c.Refused) << c.Listen << " " << c.Admin << ": " << FaultOf(s);
  }
  TServerSettings s;
  s.AdminListen = "0.0.0.0:12578";
  EXPECT_EQ(FaultOf(s, TitleName),
            "Admin listen: '0.0.0.0:12578' takes the game's TCP port 12578 on 0.0.0.0");
}

TEST(SettingsTableTest, AnEmptyTextIsTheDefaultInTheFileAndRefusedOnTheCommandLine) {
  const std::pair<const char*, const char*> optional[] = {
      {"accounts", "--accounts: the file name is empty"},
      {"admin_listen", "--admin-listen: '' is not ADDRESS:PORT"},
      {"admin_token", "--admin-token: at least 16 characters"},
      {"admin_proxy", "--admin-proxy: '' is not an IP address"},
  };
  for (const auto& [key, refusal] : optional) {
    const TSetting& row = Row(key);
    TServerSettings s;
    row.Read(s, "", row.Option, TSettingSource::File);
    EXPECT_EQ(row.Write(s), "\"\"") << key;
    EXPECT_EQ(FaultOf(s), "") << key;
    EXPECT_EQ(ConvertErrorOf([&] { row.Read(s, "", row.Option, TSettingSource::CommandLine); }),
              refusal);
  }
  // Elsewhere an empty text is a value as any other, checked where it is wrong.
  TServerSettings s;
  Row("game_dir").Read(s, "", "--game-dir", TSettingSource::CommandLine);
  Row("server_name").Read(s, "", "--server-name", TSettingSource::CommandLine);
  EXPECT_EQ(FaultOf(s), "");
  EXPECT_EQ(ConvertErrorOf([&] {
              Row("max_clients").Read(s, "", "--max-clients", TSettingSource::CommandLine);
            }),
            "--max-clients: '' is not an integer");
}

}  // namespace
}  // namespace zq::test

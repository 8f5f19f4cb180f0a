#include "server/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include "platform/Errors.h"
#include "server/ConfigFile.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"

namespace zq {
namespace {

const char* const DESCRIPTION =
    "Runs the game server on a game installation directory. Without --headless it opens\n"
    "the operator window; with --headless it starts at once and runs until SIGINT/SIGTERM.\n"
    "Client n uses UDP port base + n.\n"
    "'zqosrv accounts --help' and 'zqosrv bans --help': the accounts file from a shell.";

struct TOptions {
  QCommandLineOption config{"config",
                            "Configuration file: one key for each option below (such as "
                            "max_clients for --max-clients); options given here win.",
                            "FILE"};
  QCommandLineOption printConfig{"print-config", "Print the settings in the file's format."};
  QCommandLineOption listen{
      "listen", "Address to listen on, IPv4 or IPv6 (default 0.0.0.0: every IPv4 address).",
      "ADDRESS"};
  QCommandLineOption logFile{
      "log-file", "Log file (default ZQOSRV.LOG; a relative path lies in the game directory).",
      "PATH"};
  QCommandLineOption headless{"headless", "No window: start the server at once."};
  QCommandLineOption start{"start", "Window: press \"Start Server\" at once."};
  QCommandLineOption gameDir{"game-dir",
                             "Installation directory (default: the current directory); it "
                             "becomes the current directory, where ZQOSRV.LOG lies.",
                             "DIR"};
  QCommandLineOption serverName{"server-name", "Server name sent to clients (default MyServer).",
                                "NAME"};
  QCommandLineOption tcpPort{"tcp-port", "TCP port to listen on (default 12578).", "N"};
  QCommandLineOption baseUdpPort{
      "base-udp-port", "Base UDP port (default 28500); an integer, low 16 bits used.", "N"};
  QCommandLineOption maxClients{"max-clients", "Most clients admitted at once (default 32).", "N"};
  QCommandLineOption spawnX{"spawn-x", "Spawn tile x of new players (default 1560).", "N"};
  QCommandLineOption spawnY{"spawn-y", "Spawn tile y of new players (default 1921).", "N"};
  QCommandLineOption setupTimeout{
      "setup-timeout",
      "Seconds a connection has to announce its UDP port and start the game before it is "
      "closed (default 30; 0: no deadline).",
      "S"};
  QCommandLineOption maxPerAddress{
      "max-per-address", "Most connections from one IP address (default 0: no limit).", "N"};
  QCommandLineOption maxMessageRate{
      "max-message-rate",
      "Game messages a second per connection, bursts up to twice as many; more are dropped "
      "(default 100; 0: no limit).",
      "N"};
  QCommandLineOption auth{"auth",
                          "How logins are checked: open (anything goes, as before), claim (a "
                          "new name is claimed by its first password) or registered (only "
                          "existing accounts); default open.",
                          "MODE"};
  QCommandLineOption accounts{"accounts",
                              "Accounts file (default zqosrv.db in the game directory; a "
                              "relative path is taken from there).",
                              "FILE"};
  QCommandLineOption adminListen{
      "admin-listen",
      "Serve the admin API, metrics and dashboard on ADDRESS:PORT (e.g. 127.0.0.1:8080; "
      "[::1]:8080; port 0: any free one). Off unless given.",
      "ADDRESS:PORT"};
  QCommandLineOption adminToken{
      "admin-token",
      "The admin API's token (at least 16 characters; default: the one in "
      "zqosrv-admin.token in the game directory, made on the first start).",
      "TOKEN"};
  QCommandLineOption help{QStringList{"h", "help"}, "This text."};
  QCommandLineOption version{"version", "The version."};

  void AddTo(QCommandLineParser& parser) const {
    parser.setApplicationDescription(DESCRIPTION);
    parser.addOptions({config, printConfig, listen, logFile});

    parser.addOptions({headless, start, gameDir, serverName, tcpPort, baseUdpPort, maxClients,
                       spawnX, spawnY, setupTimeout, maxPerAddress, maxMessageRate, auth, accounts,
                       adminListen, adminToken, help, version});
  }
};

int32_t Integer(const QCommandLineParser& parser, const QCommandLineOption& option) {
  return IntegerOf(parser.value(option).toStdString(), "--" + option.names().back().toStdString());
}

uint32_t Count(const QCommandLineParser& parser, const QCommandLineOption& option) {
  return CountOf(parser.value(option).toStdString(), "--" + option.names().back().toStdString());
}

// The file under the options, when --config names one.
void ReadConfig(const QCommandLineParser& parser, const TOptions& o, TCommandLine& result) {
  if (!parser.isSet(o.config)) return;
  result.ConfigFile = parser.value(o.config).toStdString();
  try {
    ReadConfigFile(result.ConfigFile, result.Settings);
  } catch (const EInOutError& e) {
    throw EConvertError(std::string("--config: ") + e.what());
  }
  result.GameDirectoryGiven = !result.Settings.GameDirectory.empty();
}

}  // namespace

std::string UsageText() {
  QCommandLineParser parser;
  TOptions().AddTo(parser);
  return parser.helpText().replace("<executable_name>", "zqosrv").toStdString();
}

std::string VersionText() {
  return std::string("zqosrv ") + VersionString + "\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  QStringList arguments{"zqosrv"};
  for (const std::string& a : args) arguments << QString::fromStdString(a);
  QCommandLineParser parser;
  TOptions o;
  o.AddTo(parser);
  if (!parser.parse(arguments)) throw EConvertError(parser.errorText().toStdString());
  if (!parser.positionalArguments().isEmpty())
    throw EConvertError("Unexpected argument '" + parser.positionalArguments()[0].toStdString() +
                        "' (see --help)");

  TCommandLine result;
  TServerSettings& s = result.Settings;
  result.Headless = parser.isSet(o.headless);
  result.Start = parser.isSet(o.start);
  result.Help = parser.isSet(o.help);
  result.Version = parser.isSet(o.version);
  result.PrintConfig = parser.isSet(o.printConfig);
  result.Arguments = args;
  if (result.Help || result.Version) return result;
  ReadConfig(parser, o, result);
  if (parser.isSet(o.listen))
    s.ListenAddress = ListenAddressOf(parser.value(o.listen).toStdString(), "--listen");
  if (parser.isSet(o.logFile))
    s.LogFile = LogFileOf(parser.value(o.logFile).toStdString(), "--log-file");
  if (parser.isSet(o.gameDir)) {
    s.GameDirectory = parser.value(o.gameDir).toStdString();
    result.GameDirectoryGiven = true;
  }
  if (parser.isSet(o.serverName)) {
    s.ServerName = parser.value(o.serverName).toStdString();
    CheckServerName(s.ServerName, "--server-name");
  }
  if (parser.isSet(o.tcpPort))
    s.TcpPort = TcpPortOf(parser.value(o.tcpPort).toStdString(), "--tcp-port");
  if (parser.isSet(o.baseUdpPort)) {
    s.BaseUdpPortText = parser.value(o.baseUdpPort).toStdString();
    BaseUdpPortOf(s.BaseUdpPortText, "--base-udp-port");  // refused here already
  }
  if (parser.isSet(o.maxClients)) s.MaxClients = Integer(parser, o.maxClients);
  if (parser.isSet(o.spawnX)) s.SpawnX = Integer(parser, o.spawnX);
  if (parser.isSet(o.spawnY)) s.SpawnY = Integer(parser, o.spawnY);
  if (parser.isSet(o.setupTimeout))
    s.SetupTimeoutMs =
        SetupTimeoutOf(parser.value(o.setupTimeout).toStdString(), "--setup-timeout");
  if (parser.isSet(o.maxPerAddress)) s.MaxPerAddress = Count(parser, o.maxPerAddress);
  if (parser.isSet(o.maxMessageRate)) s.MaxMessageRate = Count(parser, o.maxMessageRate);
  if (parser.isSet(o.auth)) {
    const std::string mode = parser.value(o.auth).toStdString();
    std::optional<TAuthMode> parsed = ParseAuthMode(mode);
    if (!parsed) throw EConvertError("--auth: '" + mode + "' is not open, claim or registered");
    s.Auth = *parsed;
  }
  if (parser.isSet(o.accounts)) {
    s.AccountsFile = parser.value(o.accounts).toStdString();
    if (s.AccountsFile.empty()) throw EConvertError("--accounts: the file name is empty");
  }
  if (parser.isSet(o.adminListen)) {
    s.AdminListen = parser.value(o.adminListen).toStdString();
    AdminAddressOf(s.AdminListen, "--admin-listen");  // refused here already
  }
  if (parser.isSet(o.adminToken)) {
    s.AdminToken = parser.value(o.adminToken).toStdString();
    if (s.AdminToken.size() < MIN_ADMIN_TOKEN_LEN)
      throw EConvertError("--admin-token: at least " + std::to_string(MIN_ADMIN_TOKEN_LEN) +
                          " characters");
  }
  return result;
}

}  // namespace zq

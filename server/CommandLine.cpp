#include "server/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include "platform/Errors.h"
#include "platform/StrToInt.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"

namespace zq {
namespace {

const char* const DESCRIPTION =
    "Runs the game server on a game installation directory. Without --headless it opens\n"
    "the operator window; with --headless it starts at once and runs until SIGINT/SIGTERM.\n"
    "Client n uses UDP port base + n.";

struct TOptions {
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
    parser.addOptions({headless, start, gameDir, serverName, tcpPort, baseUdpPort, maxClients,
                       spawnX, spawnY, setupTimeout, maxPerAddress, maxMessageRate, adminListen,
                       adminToken, help, version});
  }
};

int32_t Integer(const QCommandLineParser& parser, const QCommandLineOption& option) {
  const std::string text = parser.value(option).toStdString();
  try {
    return StrToInt(text);
  } catch (const EConvertError&) {
    throw EConvertError("--" + option.names().back().toStdString() + ": '" + text +
                        "' is not an integer");
  }
}

uint32_t Count(const QCommandLineParser& parser, const QCommandLineOption& option) {
  const int32_t value = Integer(parser, option);
  if (value < 0)
    throw EConvertError("--" + option.names().back().toStdString() + ": '" +
                        parser.value(option).toStdString() + "' is below 0");
  return static_cast<uint32_t>(value);
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
  if (parser.isSet(o.setupTimeout)) {
    const uint32_t seconds = Count(parser, o.setupTimeout);
    if (seconds > 24 * 3600)
      throw EConvertError("--setup-timeout: '" + std::to_string(seconds) + "' is more than a day");
    s.SetupTimeoutMs = seconds * 1000;
  }
  if (parser.isSet(o.maxPerAddress)) s.MaxPerAddress = Count(parser, o.maxPerAddress);
  if (parser.isSet(o.maxMessageRate)) s.MaxMessageRate = Count(parser, o.maxMessageRate);
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

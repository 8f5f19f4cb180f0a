#include "server/SettingsTable.h"

#include <QHostAddress>
#include <cctype>
#include <vector>

#include "platform/Errors.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"

namespace zq {
namespace {

using S = TServerSettings;

// The file's quoting (as QSettings reads it): backslash and double quote escaped, control
// characters as \xH; a hex digit right after such an escape is escaped too, since the
// reader's \x takes every hex digit.
std::string Quoted(const std::string& text) {
  static const char HEX[] = "0123456789abcdef";
  std::string out = "\"";
  bool afterHex = false;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || (afterHex && std::isxdigit(c))) {
      out += "\\x";
      if (c >= 0x10) out += HEX[c >> 4];
      out += HEX[c & 0xF];
      afterHex = true;
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += ch;
    afterHex = false;
  }
  return out + "\"";
}

// The kinds of value. Parse makes the value of a text, raising EConvertError in the words
// "<what>: '<text>' ..."; Check refuses a value the field must not hold; Format gives the
// file's text and Show the default in the help.
struct Text {
  using T = std::string;
  static T Parse(const std::string& text, const std::string& /*what*/) { return text; }
  static void Check(const T& /*value*/, const std::string& /*what*/) {}
  static std::string Format(const T& value) { return Quoted(value); }
  static std::string Show(const T& value) { return value; }
};
struct ServerName : Text {
  static void Check(const T& name, const std::string& what) { CheckServerName(name, what); }
};
struct LogFile : Text {
  static void Check(const T& path, const std::string& what) { LogFileOf(path, what); }
};
struct Address : Text {
  static void Check(const T& address, const std::string& what) { ListenAddressOf(address, what); }
};
struct BaseUdpPort : Text {  // kept as its text: an integer, its low 16 bits used
  static void Check(const T& text, const std::string& what) { BaseUdpPortOf(text, what); }
  static std::string Format(const T& text) { return text; }
};
struct AccountsFile : Text {
  static void Check(const T& path, const std::string& what) {
    if (path.empty()) throw EConvertError(what + ": the file name is empty");
  }
};
struct AdminListen : Text {
  static void Check(const T& text, const std::string& what) { AdminAddressOf(text, what); }
};
struct ProxyAddress : Text {
  static void Check(const T& text, const std::string& what) { AdminProxyOf(text, what); }
};
struct AdminToken : Text {
  static void Check(const T& token, const std::string& what) {
    if (token.size() < MIN_ADMIN_TOKEN_LEN)
      throw EConvertError(what + ": at least " + std::to_string(MIN_ADMIN_TOKEN_LEN) +
                          " characters");
  }
};

// A text whose empty value stands for the default in the file and in the settings; on the
// command line the option is left out for that, and an empty value is checked as any other.
template <typename Kind>
struct EmptyIsDefault : Kind {
  static void Check(const typename Kind::T& value, const std::string& what) {
    if (!value.empty()) Kind::Check(value, what);
  }
  static void RefuseEmpty(const std::string& what) { Kind::Check({}, what); }
};

template <typename V, V (*Of)(const std::string&, const std::string&)>
struct Number {
  using T = V;
  static T Parse(const std::string& text, const std::string& what) { return Of(text, what); }
  static void Check(T /*value*/, const std::string& /*what*/) {}
  static std::string Format(T value) { return std::to_string(value); }
  static std::string Show(T value) { return std::to_string(value); }
};
using Integer = Number<int32_t, IntegerOf>;
using Count = Number<uint32_t, CountOf>;
using Port = Number<uint16_t, TcpPortOf>;
struct Seconds : Number<uint32_t, SetupTimeoutOf> {  // held in milliseconds
  static void Check(T ms, const std::string& what) { CheckSetupTimeout(ms, what); }
  static std::string Format(T ms) { return std::to_string(ms / 1000); }
  static std::string Show(T ms) { return Format(ms); }
};

struct AuthMode {
  using T = TAuthMode;
  static T Parse(const std::string& text, const std::string& what) {
    const std::optional<TAuthMode> mode = ParseAuthMode(text);
    if (!mode) throw EConvertError(what + ": '" + text + "' is not open, claim or registered");
    return *mode;
  }
  static void Check(T /*mode*/, const std::string& /*what*/) {}
  static std::string Format(T mode) { return std::string(AuthModeName(mode)); }
  static std::string Show(T mode) { return Format(mode); }
};

struct LogLevel {
  using T = TLogLevel;
  static T Parse(const std::string& text, const std::string& what) {
    const std::optional<TLogLevel> level = ParseLogThreshold(text);
    if (!level) throw EConvertError(what + ": '" + text + "' is not debug, info or warning");
    return *level;
  }
  static void Check(T /*level*/, const std::string& /*what*/) {}
  static std::string Format(T level) { return std::string(LogThresholdName(level)); }
  static std::string Show(T level) { return Format(level); }
};

struct LogDates {
  using T = TLogDates;
  static T Parse(const std::string& text, const std::string& what) {
    if (text == "locale") return TLogDates::Locale;
    if (text == "iso") return TLogDates::Iso;
    throw EConvertError(what + ": '" + text + "' is not locale or iso");
  }
  static void Check(T /*dates*/, const std::string& /*what*/) {}
  static std::string Format(T dates) { return dates == TLogDates::Iso ? "iso" : "locale"; }
  static std::string Show(T dates) { return Format(dates); }
};

// A row's words; the help text gets the default appended.
struct TRowText {
  const char* Key;
  const char* Option;
  const char* ValueName;
  const char* Title;
  const char* Help;
  const char* Default = nullptr;  // in words, where the default value is empty
  bool Reloadable = false;
  bool Secret = false;
};

template <typename Kind, auto Field>
TSetting Row(const TRowText& t) {
  const std::string shown = t.Default ? t.Default : Kind::Show(S{}.*Field);
  return {t.Key,
          t.Option,
          t.ValueName,
          t.Title,
          std::string(t.Help) + " (default: " + shown + ").",
          t.Reloadable,
          t.Secret,
          [](S& s, const std::string& text, const std::string& what, TSettingSource source) {
            typename Kind::T value = Kind::Parse(text, what);
            if constexpr (requires { Kind::RefuseEmpty(what); })
              if (source == TSettingSource::CommandLine && value.empty()) Kind::RefuseEmpty(what);
            s.*Field = std::move(value);
          },
          [](const S& s, const std::string& what) { Kind::Check(s.*Field, what); },
          [](const S& s) { return Kind::Format(s.*Field); },
          [](const S& from, S& to) { to.*Field = from.*Field; }};
}

const std::vector<TSetting>& Table() {
  static const std::vector<TSetting> rows = {
      Row<Text, &S::GameDirectory>(
          {.Key = "game_dir",
           .Option = "--game-dir",
           .ValueName = "DIR",
           .Title = "Game directory",
           .Help = "Installation directory; it becomes the current directory, where the log lies",
           .Default = "the current directory"}),
      Row<ServerName, &S::ServerName>({.Key = "server_name",
                                       .Option = "--server-name",
                                       .ValueName = "NAME",
                                       .Title = "Server name",
                                       .Help = "Server name sent to clients"}),
      Row<Address, &S::ListenAddress>(
          {.Key = "listen",
           .Option = "--listen",
           .ValueName = "ADDRESS",
           .Title = "Listen address",
           .Help = "Address the TCP listener and the UDP ports bind to, IPv4 or IPv6; 0.0.0.0 "
                   "is every IPv4 address, :: every IPv6 one"}),
      Row<Port, &S::TcpPort>({.Key = "tcp_port",
                              .Option = "--tcp-port",
                              .ValueName = "N",
                              .Title = "TCP Port",
                              .Help = "TCP port to listen on, outside the UDP range "
                                      "base+1..base+63; 0: any free port"}),
      Row<BaseUdpPort, &S::BaseUdpPortText>(
          {.Key = "base_udp_port",
           .Option = "--base-udp-port",
           .ValueName = "N",
           .Title = "Base UDP Port",
           .Help = "Base UDP port: client n uses base + n; an integer, its low 16 bits used"}),
      Row<Integer, &S::MaxClients>({.Key = "max_clients",
                                    .Option = "--max-clients",
                                    .ValueName = "N",
                                    .Title = "Max. Clients",
                                    .Help = "Most clients admitted at once, at most 63",
                                    .Reloadable = true}),
      Row<Integer, &S::SpawnX>({.Key = "spawn_x",
                                .Option = "--spawn-x",
                                .ValueName = "N",
                                .Title = "Spawn x",
                                .Help = "Spawn tile x of new players"}),
      Row<Integer, &S::SpawnY>({.Key = "spawn_y",
                                .Option = "--spawn-y",
                                .ValueName = "N",
                                .Title = "Spawn y",
                                .Help = "Spawn tile y of new players"}),
      Row<Seconds, &S::SetupTimeoutMs>(
          {.Key = "setup_timeout",
           .Option = "--setup-timeout",
           .ValueName = "S",
           .Title = "Setup timeout",
           .Help = "Seconds a connection has to announce its UDP port and start the game before "
                   "it is closed, at most a day; 0: no deadline",
           .Reloadable = true}),
      Row<Count, &S::MaxPerAddress>({.Key = "max_per_address",
                                     .Option = "--max-per-address",
                                     .ValueName = "N",
                                     .Title = "Max per address",
                                     .Help = "Most connections from one IP address; 0: no limit",
                                     .Reloadable = true}),
      Row<Count, &S::MaxMessageRate>(
          {.Key = "max_message_rate",
           .Option = "--max-message-rate",
           .ValueName = "N",
           .Title = "Max message rate",
           .Help = "Game messages a second per connection, bursts up to twice as many; more are "
                   "dropped; 0: no limit",
           .Reloadable = true}),
      Row<LogFile, &S::LogFile>({.Key = "log_file",
                                 .Option = "--log-file",
                                 .ValueName = "PATH",
                                 .Title = "Log file",
                                 .Help = "Log file; a relative path lies in the game directory; "
                                         "none: no file (the journal is enough)"}),
      Row<LogLevel, &S::LogLevel>(
          {.Key = "log_level",
           .Option = "--log-level",
           .ValueName = "LEVEL",
           .Title = "Log level",
           .Help = "Lowest level of the lines logged: debug (with the developers' traces; "
                   "--verbose), info or warning",
           .Reloadable = true}),
      Row<LogDates, &S::LogDates>({.Key = "log_dates",
                                   .Option = "--log-dates",
                                   .ValueName = "FORM",
                                   .Title = "Log dates",
                                   .Help = "Dates in the log file: locale, the locale's form; "
                                           "iso, 2026-12-09 22:56:04"}),
      Row<AuthMode, &S::Auth>(
          {.Key = "auth",
           .Option = "--auth",
           .ValueName = "MODE",
           .Title = "Logins",
           .Help = "How logins are checked: open, anything goes; claim, a new name is claimed by "
                   "its first password; registered, only existing accounts",
           .Reloadable = true}),
      Row<EmptyIsDefault<AccountsFile>, &S::AccountsFile>(
          {.Key = "accounts",
           .Option = "--accounts",
           .ValueName = "FILE",
           .Title = "Accounts file",
           .Help = "Accounts file (SQLite); a relative path is taken from the game directory",
           .Default = "zqosrv.db in the game directory"}),
      Row<EmptyIsDefault<AdminListen>, &S::AdminListen>(
          {.Key = "admin_listen",
           .Option = "--admin-listen",
           .ValueName = "ADDRESS:PORT",
           .Title = "Admin listen",
           .Help = "Serve the admin API, metrics and dashboard on ADDRESS:PORT, such as "
                   "127.0.0.1:8080 or [::1]:8080; port 0: any free one",
           .Default = "none"}),
      Row<EmptyIsDefault<AdminToken>, &S::AdminToken>(
          {.Key = "admin_token",
           .Option = "--admin-token",
           .ValueName = "TOKEN",
           .Title = "Admin token",
           .Help = "The admin API's token, at least 16 characters",
           .Default = "the one in zqosrv-admin.token in the game directory, made on the first "
                      "start",
           .Secret = true}),
      Row<EmptyIsDefault<ProxyAddress>, &S::AdminProxy>(
          {.Key = "admin_proxy",
           .Option = "--admin-proxy",
           .ValueName = "ADDRESS",
           .Title = "Admin proxy",
           .Help = "The IP address of a proxy in front of the admin API, such as 127.0.0.1: its "
                   "requests count by the client address it adds to X-Forwarded-For, and its "
                   "connections are not limited per address",
           .Default = "none"}),
  };
  return rows;
}

bool AnyAddress(const QHostAddress& address) {
  return address == QHostAddress(QHostAddress::AnyIPv4) ||
         address == QHostAddress(QHostAddress::AnyIPv6);
}

// The admin API cannot take the game's TCP port where the game's listener has it: on the
// same address, or with either of them on every address of their family (both listen IPv6
// only on an IPv6 address).
void CheckAdminApart(const TServerSettings& s, const std::string& what) {
  if (s.AdminListen.empty() || s.TcpPort == 0) return;
  const TAdminAddress admin = AdminAddressOf(s.AdminListen, what);
  const QHostAddress game(QString::fromStdString(s.ListenAddress));
  if (admin.Port != s.TcpPort || admin.Address.protocol() != game.protocol()) return;
  if (admin.Address == game || AnyAddress(admin.Address) || AnyAddress(game))
    throw EConvertError(what + ": '" + s.AdminListen + "' takes the game's TCP port " +
                        std::to_string(s.TcpPort) + " on " + s.ListenAddress);
}

}  // namespace

std::span<const TSetting> SettingsTable() {
  return Table();
}

const TSetting* FindSetting(std::string_view key) {
  for (const TSetting& s : Table())
    if (key == s.Key) return &s;
  return nullptr;
}

std::string OptionName(const TSetting& setting) {
  return setting.Option;
}

std::string TitleName(const TSetting& setting) {
  return setting.Title;
}

void CheckSettings(const TServerSettings& settings, const TSettingNames& nameOf) {
  for (const TSetting& s : Table()) s.Check(settings, nameOf(s));
  // Between keys, on values each row has passed.
  CheckPortsApart(settings.TcpPort, settings.BaseUdpPort());
  CheckAdminApart(settings, nameOf(*FindSetting("admin_listen")));
}

}  // namespace zq

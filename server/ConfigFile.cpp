#include "server/ConfigFile.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryFile>
#include <QVariant>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "platform/Errors.h"
#include "server/admin/AdminAddress.h"
#include "server/admin/AdminToken.h"

namespace zq {
namespace {

// QSettings' quoting: backslash and double quote escaped, control characters as \xH; a hex
// digit right after such an escape is escaped too, since the reader's \x takes every hex digit.
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

// The kinds of value: Parse raises EConvertError in the words "<what>: '<text>' ...", Format
// gives the file's text.
struct Text {
  static std::string Parse(const std::string& text, const std::string& /*what*/) { return text; }
  static std::string Format(const std::string& value) { return Quoted(value); }
};
struct ServerName : Text {
  static std::string Parse(const std::string& text, const std::string& what) {
    CheckServerName(text, what);
    return text;
  }
};
struct LogFile : Text {
  static std::string Parse(const std::string& text, const std::string& what) {
    return LogFileOf(text, what);
  }
};
struct Address : Text {
  static std::string Parse(const std::string& text, const std::string& what) {
    return ListenAddressOf(text, what);
  }
};
template <typename T, T (*Of)(const std::string&, const std::string&)>
struct Number {
  static T Parse(const std::string& text, const std::string& what) { return Of(text, what); }
  static std::string Format(T value) { return std::to_string(value); }
};
using Integer = Number<int32_t, IntegerOf>;
using Count = Number<uint32_t, CountOf>;
using Port = Number<uint16_t, TcpPortOf>;
struct Seconds {  // held in milliseconds
  static uint32_t Parse(const std::string& text, const std::string& what) {
    return SetupTimeoutOf(text, what);
  }
  static std::string Format(uint32_t ms) { return std::to_string(ms / 1000); }
};
struct BaseUdpPort {  // kept as its text: the low 16 bits of an integer
  static std::string Parse(const std::string& text, const std::string& what) {
    BaseUdpPortOf(text, what);
    return text;
  }
  static std::string Format(const std::string& text) { return text; }
};

struct AuthMode {
  static TAuthMode Parse(const std::string& text, const std::string& what) {
    const std::optional<TAuthMode> mode = ParseAuthMode(text);
    if (!mode) throw EConvertError(what + ": '" + text + "' is not open, claim or registered");
    return *mode;
  }
  static std::string Format(TAuthMode mode) { return std::string(AuthModeName(mode)); }
};

struct AdminListen : Text {  // empty: no admin API
  static std::string Parse(const std::string& text, const std::string& what) {
    if (!text.empty()) AdminAddressOf(text, what);
    return text;
  }
};
struct AdminToken : Text {  // empty: the token file's
  static std::string Parse(const std::string& text, const std::string& what) {
    if (!text.empty() && text.size() < MIN_ADMIN_TOKEN_LEN)
      throw EConvertError(what + ": at least " + std::to_string(MIN_ADMIN_TOKEN_LEN) +
                          " characters");
    return text;
  }
};

template <typename Kind, auto Field>
constexpr TConfigKey Key(const char* key, bool reloadable = false) {
  return {key, reloadable,
          [](TServerSettings& s, const std::string& text, const std::string& what) {
            s.*Field = Kind::Parse(text, what);
          },
          [](const TServerSettings& s) { return Kind::Format(s.*Field); },
          [](const TServerSettings& from, TServerSettings& to) { to.*Field = from.*Field; }};
}

constexpr bool RELOADABLE = true;
using S = TServerSettings;

// Every key, in the order --print-config writes them.
const TConfigKey CONFIG_KEYS[] = {
    Key<Text, &S::GameDirectory>("game_dir"),
    Key<ServerName, &S::ServerName>("server_name"),
    Key<Address, &S::ListenAddress>("listen"),
    Key<Port, &S::TcpPort>("tcp_port"),
    Key<BaseUdpPort, &S::BaseUdpPortText>("base_udp_port"),
    Key<Integer, &S::MaxClients>("max_clients", RELOADABLE),
    Key<Integer, &S::SpawnX>("spawn_x"),
    Key<Integer, &S::SpawnY>("spawn_y"),
    Key<Seconds, &S::SetupTimeoutMs>("setup_timeout", RELOADABLE),
    Key<Count, &S::MaxPerAddress>("max_per_address", RELOADABLE),
    Key<Count, &S::MaxMessageRate>("max_message_rate", RELOADABLE),
    Key<LogFile, &S::LogFile>("log_file"),
    Key<AuthMode, &S::Auth>("auth", RELOADABLE),
    Key<Text, &S::AccountsFile>("accounts"),  // empty: zqosrv.db in the game directory
    Key<AdminListen, &S::AdminListen>("admin_listen"),
    Key<AdminToken, &S::AdminToken>("admin_token"),
};

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct TKeyLine {
  std::string Key;
  int Line;
};

// True when the line ends in an odd number of backslashes: the value goes on in the next line.
bool GoesOn(const std::string& line) {
  const auto last = line.find_last_not_of('\\');
  const std::size_t backslashes = line.size() - (last == std::string::npos ? 0 : last + 1);
  return backslashes % 2 == 1;
}

// The keys of the file's lines, in order, with their line numbers.
std::vector<TKeyLine> ScanLines(const std::string& path, std::istream& in) {
  std::vector<TKeyLine> keys;
  std::string line;
  bool partOfLast = false;
  for (int number = 1; std::getline(in, line); ++number) {
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (partOfLast) {
      partOfLast = GoesOn(line);
      continue;
    }
    const std::string_view text = Trimmed(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    const std::string where = path + ":" + std::to_string(number) + ": '" + std::string(text);
    if (text[0] == '[') throw EConvertError(where + "': sections are not used");
    const std::string key(Trimmed(text.substr(0, text.find('='))));
    if (text.find('=') == std::string_view::npos || key.empty())
      throw EConvertError(where + "' is no \"key = value\" line");
    keys.push_back({key, number});
    partOfLast = GoesOn(line);
  }
  return keys;
}

}  // namespace

std::span<const TConfigKey> ConfigKeys() {
  return CONFIG_KEYS;
}

const TConfigKey* FindConfigKey(std::string_view key) {
  for (const TConfigKey& k : CONFIG_KEYS)
    if (key == k.Key) return &k;
  return nullptr;
}

void ReadConfigFile(const std::string& path, TServerSettings& settings) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("Cannot read " + path + ": " + std::strerror(errno));
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) throw EInOutError("Cannot read " + path);
  std::istringstream text(bytes);
  const std::vector<TKeyLine> lines = ScanLines(path, text);

  std::map<std::string, int> firstLine;
  for (const TKeyLine& l : lines) {
    const std::string where = path + ":" + std::to_string(l.Line) + ": " + l.Key;
    if (!FindConfigKey(l.Key)) throw EConvertError(where + ": unknown key");
    const auto [first, fresh] = firstLine.emplace(l.Key, l.Line);
    if (!fresh)
      throw EConvertError(where + ": given again (first on line " + std::to_string(first->second) +
                          ")");
  }

  // QSettings reads a copy of the bytes scanned: the same version of the file, under a name
  // of its own, since its cache would answer for an unchanged name, size and time.
  QTemporaryFile copy;
  if (!copy.open() ||
      copy.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size()) ||
      !copy.flush())
    throw EInOutError("Cannot read " + path + ": no temporary copy in " +
                      QDir::tempPath().toStdString());
  const QSettings file(copy.fileName(), QSettings::IniFormat);
  if (file.status() != QSettings::NoError) throw EInOutError("Cannot read " + path + " as INI");
  for (const TKeyLine& l : lines) {  // in the file's order: the first fault is reported
    const QVariant value = file.value(QString::fromStdString(l.Key));
    const std::string where = path + ":" + std::to_string(l.Line) + ": " + l.Key;
    if (value.typeId() == QMetaType::QStringList)
      throw EConvertError(where + ": a value with a comma must be in double quotes");
    FindConfigKey(l.Key)->Read(settings, value.toString().toStdString(), where);
  }
  for (const QString& name : file.allKeys())  // one QSettings saw where the scan saw none
    if (!firstLine.contains(name.toStdString()))
      throw EConvertError(path + ": " + name.toStdString() + ": unknown key");
}

std::string ConfigText(const TServerSettings& settings) {
  std::string reloadable;
  for (const TConfigKey& k : CONFIG_KEYS)
    if (k.Reloadable) reloadable += std::string(reloadable.empty() ? "" : ", ") + k.Key;
  std::string text =
      "; zqosrv configuration. A key left out takes its default; options on the command line\n"
      "; win over this file. SIGHUP reads it again and applies, while running:\n; " +
      reloadable + ".\n";
  for (const TConfigKey& k : CONFIG_KEYS)
    text += std::string(k.Key) + " = " + k.Write(settings) + "\n";
  return text;
}

std::vector<TConfigChange> ConfigChanges(const TServerSettings& before,
                                         const TServerSettings& after) {
  std::vector<TConfigChange> changes;
  for (const TConfigKey& k : CONFIG_KEYS) {
    std::string was = k.Write(before), is = k.Write(after);
    if (was != is) changes.push_back({&k, std::move(was), std::move(is)});
  }
  return changes;
}

void TakeReloadable(const TServerSettings& from, TServerSettings& to) {
  for (const TConfigKey& k : CONFIG_KEYS)
    if (k.Reloadable) k.Copy(from, to);
}

}  // namespace zq

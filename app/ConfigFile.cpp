#include "app/ConfigFile.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryFile>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "platform/Errors.h"

namespace zq {
namespace {

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

TConfigPlaces ReadConfigFile(const std::string& path, TServerSettings& settings) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("Cannot read " + path + ": " + std::strerror(errno));
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) throw EInOutError("Cannot read " + path);
  std::istringstream text(bytes);
  const std::vector<TKeyLine> lines = ScanLines(path, text);

  std::map<std::string, int> firstLine;
  TConfigPlaces places;
  for (const TKeyLine& l : lines) {
    const std::string where = path + ":" + std::to_string(l.Line) + ": " + l.Key;
    if (!FindSetting(l.Key)) throw EConvertError(where + ": unknown key");
    places.emplace(l.Key, where);
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
    const std::string& where = places.at(l.Key);
    if (value.typeId() == QMetaType::QStringList)
      throw EConvertError(where + ": a value with a comma must be in double quotes");
    FindSetting(l.Key)->Read(settings, value.toString().toStdString(), where, TSettingSource::File);
  }
  for (const QString& name : file.allKeys())  // one QSettings saw where the scan saw none
    if (!firstLine.contains(name.toStdString()))
      throw EConvertError(path + ": " + name.toStdString() + ": unknown key");
  return places;
}

std::string ConfigText(const TServerSettings& settings, bool showSecrets) {
  std::string reloadable;
  for (const TSetting& k : SettingsTable())
    if (k.Reloadable) reloadable += std::string(reloadable.empty() ? "" : ", ") + k.Key;
  std::string text =
      "; zqosrv configuration. A key left out takes its default; options on the command line\n"
      "; win over this file. SIGHUP reads it again and applies, while running:\n; " +
      reloadable + ".\n";
  const TServerSettings defaults;
  for (const TSetting& k : SettingsTable()) {
    std::string value = k.Write(settings);
    if (k.Secret && !showSecrets && value != k.Write(defaults)) value = "(set)";
    text += std::string(k.Key) + " = " + value + "\n";
  }
  return text;
}

std::vector<TConfigChange> ConfigChanges(const TServerSettings& before,
                                         const TServerSettings& after) {
  std::vector<TConfigChange> changes;
  for (const TSetting& k : SettingsTable()) {
    std::string was = k.Write(before), is = k.Write(after);
    if (was != is) changes.push_back({&k, std::move(was), std::move(is)});
  }
  return changes;
}

std::string ChangeText(const TConfigChange& change) {
  const std::string key = change.Setting->Key;
  if (change.Setting->Secret) return key + " (changed)";
  return key + " " + change.Before + " -> " + change.After;
}

void TakeReloadable(const TServerSettings& from, TServerSettings& to) {
  for (const TSetting& k : SettingsTable())
    if (k.Reloadable) k.Copy(from, to);
}

}  // namespace zq

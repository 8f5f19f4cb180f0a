// The configuration file: INI lines "key = value", one key for every setting of the table
// (server/SettingsTable.h). QSettings reads the values (quotes, escapes, inline comments after
// ';'). It names no lines and passes some mistakes over, so the file's lines are also scanned
// here: to name the line of a key, and to refuse a line that is no "key = value", a [section]
// and a key given twice. Both read one snapshot of the file (a temporary copy). Errors name
// the file, the line and the key: "<file>:<line>: <key>: ...". Main thread (QSettings).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "server/SettingsTable.h"

namespace zq {

// Where the file gave each key: key -> "<file>:<line>: <key>", its name in errors.
using TConfigPlaces = std::map<std::string, std::string>;

// Reads the file over `settings`: each key it holds replaces its field, the others stay.
// Raises EInOutError when the file cannot be read, EConvertError naming the file, the line and
// the key for an unknown key, a text that is no value of its key's kind (no integer), or a line
// that is no "key = value". The caller checks the values (CheckSettings), naming each key by
// its place.
TConfigPlaces ReadConfigFile(const std::string& path, TServerSettings& settings);

// Every key with its value, in the file's format (a file that reads back to `settings`). A
// secret key that holds a value is printed "(set)", which reads back as no value of its
// kind, unless `showSecrets`.
std::string ConfigText(const TServerSettings& settings, bool showSecrets = false);

struct TConfigChange {
  const TSetting* Setting;
  std::string Before, After;  // as the file writes them
};

// The keys whose values differ, in the table's order.
std::vector<TConfigChange> ConfigChanges(const TServerSettings& before,
                                         const TServerSettings& after);
// The change as the log shows it: "max_clients 32 -> 40"; a secret key's values are not
// shown: "admin_token (changed)".
std::string ChangeText(const TConfigChange& change);

// Gives `to` the values of `from` for every reloadable key.
void TakeReloadable(const TServerSettings& from, TServerSettings& to);

}  // namespace zq

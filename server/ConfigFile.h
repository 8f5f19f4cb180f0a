// The configuration file: INI lines "key = value", one key for every setting the command line
// sets, all in one table (ConfigFile.cpp). QSettings reads the values (quotes, escapes, inline
// comments after ';'). It names no lines and passes some mistakes over, so the file's lines are
// also scanned here: to name the line of a key, and to refuse a line that is no
// "key = value", a [section] and a key given twice. Both read one snapshot of the file (a
// temporary copy). Errors name the file, the line and the key: "<file>:<line>: <key>: ...".
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/ServerSettings.h"

namespace zq {

// One key of the file: how its text sets a settings field, and the field's text in the file.
struct TConfigKey {
  const char* Key;
  bool Reloadable;  // SIGHUP gives the running server the new value
  // Raises EConvertError in the words "<what>: '<text>' ...".
  void (*Read)(TServerSettings& settings, const std::string& text, const std::string& what);
  std::string (*Write)(const TServerSettings& settings);
  void (*Copy)(const TServerSettings& from, TServerSettings& to);
};

std::span<const TConfigKey> ConfigKeys();
const TConfigKey* FindConfigKey(std::string_view key);

// Reads the file over `settings`: each key it holds replaces its field, the others stay.
// Raises EInOutError when the file cannot be read, EConvertError naming the file, the line and
// the key for an unknown key, a bad value, or a line that is no "key = value".
void ReadConfigFile(const std::string& path, TServerSettings& settings);

// Every key with its value, in the file's format (a file that reads back to `settings`).
std::string ConfigText(const TServerSettings& settings);

struct TConfigChange {
  const TConfigKey* Key;
  std::string Before, After;  // as the file writes them
};

// The keys whose values differ, in the table's order.
std::vector<TConfigChange> ConfigChanges(const TServerSettings& before,
                                         const TServerSettings& after);

// Gives `to` the values of `from` for every reloadable key.
void TakeReloadable(const TServerSettings& from, TServerSettings& to);

}  // namespace zq

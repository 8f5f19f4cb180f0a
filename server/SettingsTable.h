// The settings of TServerSettings, one row each: the configuration file's key, the command
// line's option, the value's name and help text (its default included), how a text becomes
// the value and the value the file's text, what a value must be, whether SIGHUP applies it to
// a running server and whether it is secret. CheckSettings checks a whole TServerSettings,
// the rules between keys included, for the command line, the file, --print-config and the
// start sequence alike. The table is constant: any thread may read it.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "server/ServerSettings.h"

namespace zq {

// Where a text comes from: in the file an empty text may stand for the default (as the file
// --print-config writes has it); on the command line an option is left out for that.
enum class TSettingSource { File, CommandLine };

struct TSetting {
  const char* Key;        // in the file: max_clients
  const char* Option;     // on the command line: --max-clients
  const char* ValueName;  // in the help: N
  const char* Title;      // in the window's words, for the start sequence's errors
  std::string Help;       // "Most clients admitted at once (default: 32)."
  bool Reloadable;        // SIGHUP gives the running server the new value
  bool Secret;            // a value not to be shown
  // Sets the field from its text; raises EConvertError in the words "<what>: '<text>' ..."
  // when the text is no value of the field's kind (no integer, beyond the type's range).
  void (*Read)(TServerSettings& settings, const std::string& text, const std::string& what,
               TSettingSource source);
  // Raises EConvertError, in the same words, when the field holds a value it must not.
  void (*Check)(const TServerSettings& settings, const std::string& what);
  std::string (*Write)(const TServerSettings& settings);  // the file's text of the field
  void (*Copy)(const TServerSettings& from, TServerSettings& to);
};

// Every setting, in the order --print-config writes them and --help shows them.
std::span<const TSetting> SettingsTable();
const TSetting* FindSetting(std::string_view key);

// The name of a setting in an error: "--max-clients", "FILE:LINE: max_clients", "TCP Port".
using TSettingNames = std::function<std::string(const TSetting&)>;
std::string OptionName(const TSetting& setting);
std::string TitleName(const TSetting& setting);

// Raises EConvertError at the first fault: every row's check in the table's order, then the
// rules between keys (a TCP port inside the UDP range base+1..base+63; the admin API on the
// game's TCP port and address).
void CheckSettings(const TServerSettings& settings, const TSettingNames& nameOf);

}  // namespace zq

// The command line of zqosrv: one option for every setting of the table
// (server/SettingsTable.h), beside --config, --print-config (with --show-secrets),
// --check-config, --headless, --start, --verbose (log_level debug), --help and --version.
// Main thread (it reads the configuration file).
#pragma once

#include <string>
#include <vector>

#include "server/ServerSettings.h"

namespace zq {

struct TCommandLine {
  TServerSettings Settings;
  // --config: the file read under the options; the arguments as given, read again on SIGHUP.
  std::string ConfigFile;
  std::vector<std::string> Arguments;
  bool PrintConfig = false;
  bool ShowSecrets = false;  // --print-config shows the secret values
  bool CheckConfig = false;  // check what a start would, then exit (app/ConfigCheck.h)
  bool GameDirectoryGiven = false;
  bool Headless = false;
  bool Start = false;  // window: press "&Start Server" at once
  bool Help = false;
  bool Version = false;
};

// `args` without the program name. Settings come from the defaults, then the configuration
// file, then the options, and are checked as a whole (CheckSettings). Raises EConvertError
// naming the option or the file's line at fault ("--max-clients: 'x' is not an integer";
// "FILE:LINE: max_clients: 'x' is not an integer"), an unknown option or a stray argument.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();
std::string VersionText();  // "zqosrv 0.1.1"

}  // namespace zq

// The command line of zqosrv: the settings the window's fields show, the limits, and how to
// run (window or headless).
#pragma once

#include <string>
#include <vector>

#include "server/ServerSettings.h"

namespace zq {

struct TCommandLine {
  TServerSettings Settings;
  bool GameDirectoryGiven = false;
  bool Headless = false;
  bool Start = false;  // window: press "&Start Server" at once
  bool Help = false;
  bool Version = false;
};

// `args` without the program name. Raises EConvertError naming the option or value at fault
// ("--max-clients: 'x' is not an integer").
TCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();
std::string VersionText();  // "zqosrv 0.1.1"

}  // namespace zq

// The command line of zqosrv: the settings the window's fields show, and how to run.
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
};

// Raises EConvertError naming the flag or value at fault.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace zq

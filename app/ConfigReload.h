// SIGHUP for a server run from the command line: reads the command line again, and with it the
// configuration file, gives the running server what can change while running, and logs every
// value that changed ("Reload: max_clients 32 -> 40"; a secret one only as changed); the
// others wait for the next start.
// Main thread only.
#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "server/ZQOSrv.h"

namespace zq {

class TConfigReload {
 public:
  // `commandLine`: as the program was started with it.
  explicit TConfigReload(const TCommandLine& commandLine);

  // The server started with `settings` (the window's fields may differ from the command line).
  void Started(const TServerSettings& settings) { running_ = settings; }
  // Logs "Reload requested." and what changed; false, changing nothing, when the settings
  // cannot be read (the error is logged).
  bool Run(TZQOServer& server);
  // The settings as the server runs them.
  const TServerSettings& Running() const { return running_; }

 private:
  std::vector<std::string> arguments_;
  TServerSettings running_;
};

}  // namespace zq

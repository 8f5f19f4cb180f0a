#include "app/ConfigReload.h"

#include "app/ConfigFile.h"

namespace zq {

TConfigReload::TConfigReload(const TCommandLine& commandLine)
    : arguments_(commandLine.Arguments), running_(commandLine.Settings) {}

bool TConfigReload::Run(TZQOServer& server) {
  server.Reload();
  TServerSettings read;
  try {
    read = ParseCommandLine(arguments_).Settings;
  } catch (const std::exception& e) {
    server.Log(TLogLevel::Error, std::string("Reload failed, nothing changed: ") + e.what());
    return false;
  }
  const std::vector<TConfigChange> changes = ConfigChanges(running_, read);
  for (const TConfigChange& c : changes)
    server.Log(TLogLevel::Notice,
               "Reload: " + ChangeText(c) +
                   (c.Setting->Reloadable ? "" : " (takes effect at the next start)"));
  if (changes.empty()) server.Log(TLogLevel::Notice, "Reload: nothing changed.");
  TakeReloadable(read, running_);
  server.ApplyRunningSettings(running_);
  return true;
}

}  // namespace zq

#include "app/ConfigCheck.h"

#include <filesystem>
#include <ostream>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "server/StartCheck.h"

namespace zq {

TServerSettings EnterGameDirectory(const TCommandLine& commandLine) {
  TServerSettings settings = commandLine.Settings;
  if (commandLine.GameDirectoryGiven) {
    std::error_code ec;
    std::filesystem::current_path(settings.GameDirectory, ec);
    if (ec)
      throw EInOutError("Cannot use game directory " + settings.GameDirectory + ": " +
                        ec.message());
  }
  settings.GameDirectory = std::filesystem::current_path().string();
  return settings;
}

int RunConfigCheck(const TCommandLine& commandLine, std::ostream& out) {
  try {
    const TStartCheck found = CheckStart(EnterGameDirectory(commandLine));
    out << "Configuration checked: game directory " << found.GameDirectory << ", log "
        << (found.LogFile.empty() ? std::string("none") : found.LogFile) << ", accounts file "
        << found.AccountsFile << "." << std::endl;
    return 0;
  } catch (const std::exception& e) {
    ConsoleReport(TLogLevel::Error, e.what());
    return 1;
  }
}

}  // namespace zq

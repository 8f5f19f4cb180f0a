#include "server/StartCheck.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "accounts/AccountDb.h"
#include "accounts/AccountStore.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "server/SettingsTable.h"
#include "server/StartSteps.h"
#include "world/Installation.h"

namespace zq {
namespace {

// That the log can be appended to, or made in its directory; the log writer's words.
void CheckLogFile(const std::string& path) {
  if (path.empty()) return;  // no log file: the journal is enough
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    if (::access(path.c_str(), W_OK) != 0)
      throw EInOutError("Cannot append to log file " + path + ": " + std::strerror(errno));
    return;
  }
  std::string directory = std::filesystem::path(path).parent_path().string();
  if (directory.empty()) directory = ".";
  if (::access(directory.c_str(), W_OK | X_OK) != 0)
    throw EInOutError("Cannot create log file " + path + ": " + std::strerror(errno));
}

// The identity of an unpacked data directory; else what the first start unpacks, and room
// for it.
void CheckDataDirectory(const std::string& gameDirectory) {
  if (std::optional<std::string> data = FindDataDirectory(gameDirectory)) {
    ReadIdentity(*data);
    return;
  }
  TBinaryFile::OpenRead(ResolvePath(gameDirectory, "STATIC/INITGAME.DAT"));
  if (::access(gameDirectory.c_str(), W_OK | X_OK) != 0)
    throw EInOutError("Cannot unpack " + std::string(DATA_DIRECTORY_NAME) + " into " +
                      gameDirectory + ": " + std::strerror(errno));
}

}  // namespace

TStartCheck CheckStart(const TServerSettings& settings) {
  CheckSettings(settings, TitleName);
  TStartCheck found;
  found.GameDirectory = GameDirectoryOf(settings);
  CheckInstallation(found.GameDirectory);
  found.LogFile = LogPathOf(found.GameDirectory, settings);
  CheckLogFile(found.LogFile);
  CheckDataDirectory(found.GameDirectory);
  found.AccountsFile = AccountsFilePath(found.GameDirectory, settings.AccountsFile);
  TAccountDb::CheckOpenable(found.AccountsFile);
  return found;
}

}  // namespace zq

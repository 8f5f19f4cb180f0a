// The start sequence's file steps: the game directory the settings name, made absolute, and
// the name of its lock; the log file's path; the data directory, unpacked from the initial-game
// archive on the first start (an unfinished unpacking left by an earlier start is removed first);
// the identity; and the world, loaded with a log line after each step. A stop asked for meanwhile
// ends a step with EStopRequested. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "server/ServerLog.h"
#include "server/ServerSettings.h"
#include "server/ServerView.h"
#include "world/WorldData.h"

namespace zq {

// The lock file in the game directory that a running server holds (TFileLock).
constexpr const char* GAME_DIRECTORY_LOCK = "zqosrv.lock";

// Raises EStopRequested once a stop was asked for.
using TStopCheck = std::function<void()>;

// The chosen directory (the current one when empty), absolute and ending in "/".
std::string GameDirectoryOf(const TServerSettings& settings);
// The log file the settings name (empty for none); a relative name lies in the game directory.
std::string LogPathOf(const std::string& gameDirectory, const TServerSettings& settings);
// The data directory, ending in "/"; unpacked here with the view's progress window when it
// does not exist yet (in any letter case).
std::string PrepareDataDirectory(const std::string& gameDirectory, TServerLog& log,
                                 IServerView& view, const TStopCheck& checkStop);
// The first line of the data directory's IDENTITY; raises EInOutError naming the file.
std::string ReadIdentity(const std::string& dataDirectory);
std::shared_ptr<const TWorldData> LoadWorld(const std::string& gameDirectory,
                                            const std::string& dataDirectory, TServerLog& log,
                                            IServerView& view, const TStopCheck& checkStop);

}  // namespace zq

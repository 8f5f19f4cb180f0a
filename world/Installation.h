// The game directory as the start sequence finds it: the check that it is an installation at
// all (it holds STATIC), and the server's data directory SRVDAT, unpacked from INITGAME.DAT on
// the first start into a temporary directory beside it that becomes SRVDAT only when complete.
// Main thread (start-up).
#pragma once

#include <optional>
#include <string>

#include "world/IregExtract.h"

namespace zq {

constexpr const char* DATA_DIRECTORY_NAME = "SRVDAT";
// Temporary directories of an unpacking: this prefix and six random characters.
constexpr const char* UNPACKING_PREFIX = "SRVDAT.unpacking-";

// Raises EInOutError, naming the directory, unless gameDir holds a directory STATIC (any
// letter case). Writes nothing.
void CheckInstallation(const std::string& gameDir);

// gameDir's SRVDAT (any letter case, an exact match first) with a trailing "/", or nothing.
std::optional<std::string> FindDataDirectory(const std::string& gameDir);

// Removes the temporary directories of unpackings that did not finish (a failed or killed
// start); one that another process is still filling is left alone. Returns how many went.
int RemoveUnfinishedUnpacking(const std::string& gameDir);

// Unpacks STATIC/INITGAME.DAT (ExtractInitGame, with its progress) into a new temporary
// directory beside SRVDAT and renames it to SRVDAT once every entry is written. Returns
// gameDir + "SRVDAT/". On any failure the temporary directory is removed, SRVDAT does not
// appear, and the EInOutError travels on; an existing SRVDAT is never replaced.
std::string BuildDataDirectory(const std::string& gameDir, IExtractProgress& progress);

}  // namespace zq

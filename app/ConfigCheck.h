// `zqosrv --check-config [--config FILE] [options]`: checks what a start with these settings
// would check (server/StartCheck.h) without writing anything or touching a running server,
// so that a service manager reloads only a configuration that works. Also the game directory
// as the headless run enters it. Main thread.
#pragma once

#include <iosfwd>

#include "app/CommandLine.h"
#include "server/ServerSettings.h"

namespace zq {

// The settings as the headless run starts with them: a game directory given becomes the
// current directory, and the settings name the current directory. Raises EInOutError
// ("Cannot use game directory D: why").
TServerSettings EnterGameDirectory(const TCommandLine& commandLine);

// Returns the exit status: 0 with one line on `out` naming the files a start would use, or
// 1 with the start's error on standard error (an error of the journal's, under the journal:
// a reload that fails shows with `journalctl -p err`).
int RunConfigCheck(const TCommandLine& commandLine, std::ostream& out);

}  // namespace zq

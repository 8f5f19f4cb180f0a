// What a start checks before it writes anything, checked without writing anything: for
// `zqosrv --check-config` (and so for a reload that systemd runs only when the check passes).
// The settings with the rules between keys, the game directory's STATIC, the log file (that
// it can be appended to or made), the data directory's identity (or, on a first start,
// INITGAME.DAT and the room to unpack it), and that the accounts file opens (or can be made).
// The world is not loaded, and the game directory's lock is left alone: a running server
// holds it. Runs on the calling thread.
#pragma once

#include <string>

#include "server/ServerSettings.h"

namespace zq {

struct TStartCheck {
  std::string GameDirectory, LogFile, AccountsFile;
};

// Raises the error a start would raise, in its words (EConvertError, EInOutError); returns
// where the start would find its files.
TStartCheck CheckStart(const TServerSettings& settings);

}  // namespace zq

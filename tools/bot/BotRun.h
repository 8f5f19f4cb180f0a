// The ordinary run of zqo-bot: N clients in the game answering beats, optionally walking with
// random keys and speaking, for a time or until stopped; --trace prints every message both ways.
#pragma once

#include <functional>
#include <ostream>

#include "tools/bot/BotOptions.h"

namespace zq {

// Returns the exit code: 0 when every client reached the game and stayed, 1 otherwise.
int RunBots(const TBotOptions& options, std::ostream& out, const std::function<bool()>& stop);

}  // namespace zq

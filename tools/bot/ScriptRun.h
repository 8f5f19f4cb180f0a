// Runs a bot script (Script.h) against a server: clients connect to the options' host and
// port, every step is carried out in order, and each expectation is reported as it holds or
// fails. The run stops at the first failure. Beats are answered unless the script says not.
#pragma once

#include <functional>
#include <ostream>

#include "tools/bot/BotOptions.h"
#include "tools/bot/Script.h"
#include "tools/client/ZQClient.h"

namespace zq {

constexpr int SCRIPT_DEFAULT_TIMEOUT_MS = 3000;

// Returns the exit status: 0 when every expectation held, 1 otherwise (a failed expectation,
// a connection that could not be made, or `stop`). `pump` runs between polls.
int RunScript(const TScript& script, const TBotOptions& options, std::ostream& out,
              const std::function<bool()>& stop, const PumpHook& pump = {});

}  // namespace zq

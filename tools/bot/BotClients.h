// Connecting the bot's clients: N clients to one server, their names, the setup of all.
// One thread, the one that polls the pool.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "tools/bot/BotOptions.h"
#include "tools/client/ZQClient.h"
#include "tools/load/ClientPool.h"

namespace zq {

// "bot" for one client; "bot1", "bot2", ... for several.
std::string BotName(const TBotOptions& options, std::size_t index);

// Adds options.Count clients to `pool`, connects them and runs the setup dialogue on all,
// reporting each failure on `out`. `prepare` sees each client before it connects. Throws what
// TZQClient::Connect throws. True when all are in the game.
bool ConnectBotClients(const TBotOptions& options, const TClientConfig& config, TClientPool& pool,
                       std::ostream& out,
                       const std::function<void(std::size_t, TZQClient&)>& prepare = {});

// Says goodbye (ClientGone) from every client in the game and closes them all.
void CloseBotClients(TClientPool& pool);

}  // namespace zq

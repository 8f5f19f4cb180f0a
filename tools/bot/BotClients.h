// Connecting the bot's clients: N clients to one server, their names, the setup of all.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/bot/BotOptions.h"
#include "tools/bot/ClientPool.h"
#include "tools/bot/ZQClient.h"

namespace zq {

// "bot" for one client; "bot1", "bot2", ... for several.
std::string BotName(const TBotOptions& options, std::size_t index);

struct TBotClients {
  std::vector<std::unique_ptr<TZQClient>> Clients;
  TClientPool Pool;
};

// Connects options.Count clients and runs the setup dialogue on all of them, reporting each
// failure on `out`. `prepare` sees each client before it connects. Throws what
// TZQClient::Connect throws. True when all are in the game.
bool ConnectBotClients(const TBotOptions& options, const TClientConfig& config, TBotClients& bots,
                       std::ostream& out,
                       const std::function<void(std::size_t, TZQClient&)>& prepare = {});

// Says goodbye (ClientGone) from every client in the game and closes them all.
void CloseBotClients(TBotClients& bots);

}  // namespace zq

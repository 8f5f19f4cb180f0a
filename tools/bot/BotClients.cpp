#include "tools/bot/BotClients.h"

namespace zq {

std::string BotName(const TBotOptions& options, std::size_t index) {
  return options.Count > 1 ? options.Name + std::to_string(index + 1) : options.Name;
}

bool ConnectBotClients(const TBotOptions& options, const TClientConfig& config, TBotClients& bots,
                       std::ostream& out,
                       const std::function<void(std::size_t, TZQClient&)>& prepare) {
  for (int i = 0; i < options.Count; ++i) {
    bots.Clients.push_back(std::make_unique<TZQClient>(config));
    if (prepare) prepare(static_cast<std::size_t>(i), *bots.Clients.back());
    bots.Clients.back()->Connect(options.Host, options.Port);
    bots.Pool.Add(*bots.Clients.back());
  }
  const int timeoutMs = 10000 + 200 * options.Count;
  bool ok = bots.Pool.RunSetup(
      [&](std::size_t i) {
        TSetupParams p;
        p.Name = BotName(options, i);
        p.Password = options.Password;
        p.ClientCode = static_cast<uint16_t>(i + 1);
        return p;
      },
      timeoutMs);
  for (std::size_t i = 0; i < bots.Clients.size(); ++i) {
    const TZQClient& c = *bots.Clients[i];
    if (c.Setup() == SetupState::InGame) continue;
    out << BotName(options, i) << ": setup ended in " << SetupStateName(c.Setup());
    if (c.IsClosed()) out << " (" << c.CloseReason() << ")";
    out << std::endl;
  }
  return ok;
}

void CloseBotClients(TBotClients& bots) {
  for (auto& c : bots.Clients)
    if (c->Setup() == SetupState::InGame && !c->IsClosed()) c->SendClientGone();
  // Let the goodbyes leave before the sockets close.
  bots.Pool.WaitUntil(
      [&] {
        for (auto& c : bots.Clients)
          if (c->TcpEvents() & POLLOUT) return false;
        return true;
      },
      500);
  for (auto& c : bots.Clients) c->Close();
}

}  // namespace zq

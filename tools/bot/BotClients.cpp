#include "tools/bot/BotClients.h"

namespace zq {

std::string BotName(const TBotOptions& options, std::size_t index) {
  return options.Count > 1 ? options.Name + std::to_string(index + 1) : options.Name;
}

bool ConnectBotClients(const TBotOptions& options, const TClientConfig& config, TClientPool& pool,
                       std::ostream& out,
                       const std::function<void(std::size_t, TZQClient&)>& prepare) {
  for (int i = 0; i < options.Count; ++i) {
    TZQClient& c = pool.Add(config);
    if (prepare) prepare(static_cast<std::size_t>(i), c);
    c.Connect(options.Host, options.Port);
  }
  const int timeoutMs = 10000 + 200 * options.Count;
  bool ok = pool.RunSetup(
      [&](std::size_t i) {
        TSetupParams p;
        p.Name = BotName(options, i);
        p.Password = options.Password;
        p.ClientCode = static_cast<uint16_t>(i + 1);
        return p;
      },
      timeoutMs);
  for (std::size_t i = 0; i < pool.Size(); ++i) {
    const TZQClient& c = pool[i];
    if (c.Setup() == SetupState::InGame) continue;
    out << BotName(options, i) << ": setup ended in " << SetupStateName(c.Setup());
    if (c.IsClosed()) out << " (" << c.CloseReason() << ")";
    out << std::endl;
  }
  return ok;
}

void CloseBotClients(TClientPool& pool) {
  pool.SayGoodbye();
  pool.Close();  // the goodbyes leave before the sockets close
}

}  // namespace zq

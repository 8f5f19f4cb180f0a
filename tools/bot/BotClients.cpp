#include "tools/bot/BotClients.h"

namespace zq {
namespace {

// The server's text as it is, but for bytes a terminal would act on: \xHH.
std::string PrintableText(std::string_view text) {
  static const char* const HEX = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F)
      out += c;
    else
      out.append("\\x").append(1, HEX[b >> 4]).append(1, HEX[b & 15]);
  }
  return out;
}

}  // namespace

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
    if (c.Refused()) {  // the server said why: that is what its operator wants to read
      out << BotName(options, i) << ": refused: " << PrintableText(c.RefusalText()) << std::endl;
      continue;
    }
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

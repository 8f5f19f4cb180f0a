#include "tools/bot/BotRun.h"

#include <random>
#include <vector>

#include "tools/bot/BotClients.h"
#include "tools/client/MessageText.h"
#include "tools/client/Trace.h"
#include "tools/load/Walker.h"

namespace zq {
namespace {

constexpr int64_t SAY_EVERY_US = 5'000'000;

}  // namespace

int RunBots(const TBotOptions& options, std::ostream& out, const std::function<bool()>& stop) {
  TClientConfig config;
  config.KeepInbox = false;
  TClientPool pool;
  const std::size_t n = static_cast<std::size_t>(options.Count);
  // Trace from the first message on, the greeting included.
  TTrace trace(out, options.TraceHex);
  auto prepare = [&](std::size_t i, TZQClient& c) {
    if (options.Trace) trace.Attach(c, BotName(options, i));
  };
  bool ok = ConnectBotClients(options, config, pool, out, prepare);
  for (std::size_t i = 0; i < n; ++i) {
    const TZQClient& c = pool[i];
    if (c.Setup() == SetupState::InGame)
      out << BotName(options, i) << ": in the game as GUID " << c.Guid() << "\n";
  }
  out.flush();

  std::mt19937 random(std::random_device{}());
  auto between = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(random);
  };
  const int64_t start = NowMicros();
  const int64_t end =
      options.Seconds > 0 ? start + static_cast<int64_t>(options.Seconds * 1e6) : INT64_MAX;
  std::vector<TWalker> walkers;
  for (std::size_t i = 0; i < n; ++i)
    walkers.emplace_back(TWalkTimes{}, start + between(0, 1'000'000));
  int64_t nextSay = start;
  // A player told ServerFull in the game (kicked, banned) is lost as much as a closed one.
  auto lost = [](const TZQClient& c) { return c.IsClosed() || c.Refused(); };
  std::vector<bool> reported(n, false);
  for (std::size_t i = 0; i < n; ++i) reported[i] = lost(pool[i]);
  auto report = [&](std::size_t i) {
    const TZQClient& c = pool[i];
    if (reported[i] || !lost(c)) return;
    reported[i] = true;
    out << BotName(options, i) << ": "
        << (c.Refused() ? "told " + QuoteText(c.RefusalText()) : c.CloseReason()) << std::endl;
  };
  auto anyInGame = [&] {
    for (std::size_t i = 0; i < n; ++i)
      if (pool[i].Setup() == SetupState::InGame && !lost(pool[i])) return true;
    return false;
  };

  while (!stop() && NowMicros() < end && anyInGame()) {
    pool.Poll(20);
    out.flush();
    int64_t now = NowMicros();
    for (std::size_t i = 0; i < n; ++i) {
      TZQClient& c = pool[i];
      if (lost(c)) {
        report(i);
        continue;
      }
      if (c.Setup() != SetupState::InGame) continue;
      if (!options.Walk) continue;
      if (std::optional<TKeyEvent> e = walkers[i].Step(now, random)) SendKeyEvent(c, *e);
    }
    if (!options.Say.empty() && now >= nextSay) {
      nextSay = now + SAY_EVERY_US;
      for (std::size_t i = 0; i < n; ++i)
        if (pool[i].Setup() == SetupState::InGame && !pool[i].IsClosed())
          pool[i].SendClientSay(options.Say);
    }
  }

  uint64_t received = 0, beats = 0;
  int closed = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const TZQClient& c = pool[i];
    report(i);
    received += c.Stats().TcpMessages + c.Stats().UdpMessages;
    beats += c.Stats().BeatsAnswered;
    closed += lost(c) ? 1 : 0;
  }
  CloseBotClients(pool);
  out << "bot: " << n << " clients, " << received << " messages received, " << beats
      << " beats answered, " << closed << " connections lost" << std::endl;
  return ok && closed == 0 ? 0 : 1;
}

}  // namespace zq

#include "tools/bot/LoadRun.h"

#include <algorithm>
#include <cstdio>

#include "tools/bot/BotClients.h"
#include "tools/bot/ProcessCpu.h"

namespace zq {
namespace {

std::string Fmt(const char* format, double a, double b = 0, double c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, a, b, c);
  return buf;
}

std::string Latency(const char* what, const TLatencyHistogram& h) {
  return std::string(what) +
         Fmt(": p50 %.3f ms, p99 %.3f ms, max %.3f ms", h.Percentile(0.5) / 1000.0,
             h.Percentile(0.99) / 1000.0, h.Max() / 1000.0) +
         " (" + std::to_string(h.Count()) + " samples)";
}

uint64_t Lost(uint64_t expected, uint64_t matched) {
  return expected > matched ? expected - matched : 0;
}

}  // namespace

std::vector<std::string> FormatLoadReport(const TLoadReport& r) {
  const TLoadCounts& c = r.Counts;
  std::vector<std::string> lines;
  lines.push_back("load: " + std::to_string(r.Clients) + " clients" +
                  Fmt(", %g key events/s each, %g s, drain ", r.Rate, r.Seconds) +
                  std::to_string(r.DrainMs) + " ms" + (r.Interrupted ? " (interrupted)" : ""));
  lines.push_back("key events sent: " + std::to_string(c.Sent));
  lines.push_back("acks: " + std::to_string(c.AcksExpected) + " expected, " +
                  std::to_string(c.AcksMatched) + " matched, " +
                  std::to_string(Lost(c.AcksExpected, c.AcksMatched)) + " lost, " +
                  std::to_string(c.AcksUnmatched) + " unmatched");
  lines.push_back(Latency("key-to-ack latency", r.AckLatency));
  lines.push_back("motions: " + std::to_string(c.MotionsExpected) + " expected, " +
                  std::to_string(c.MotionsMatched) + " matched, " +
                  std::to_string(Lost(c.MotionsExpected, c.MotionsMatched)) + " lost, " +
                  std::to_string(c.MotionsUnmatched) + " unmatched");
  lines.push_back(Latency("fan-out latency", r.FanOutLatency));
  double perSecond = r.DeliverySeconds > 0 ? r.Delivered / r.DeliverySeconds : 0;
  lines.push_back("delivered: " + std::to_string(r.Delivered) + " messages" +
                  Fmt(" in %.2f s, %.0f messages/s", r.DeliverySeconds, perSecond));
  if (r.ServerCpuSeconds) {
    double per1000 = r.Delivered ? *r.ServerCpuSeconds * 1000.0 / r.Delivered : 0;
    lines.push_back(Fmt("server CPU: %.3f s, %.6f s per 1000 messages delivered",
                        *r.ServerCpuSeconds, per1000));
  } else {
    lines.push_back("server CPU: not measured (give --server-pid)");
  }
  if (r.ClosedDuringRun > 0)
    lines.push_back("connections closed during the run: " + std::to_string(r.ClosedDuringRun));
  return lines;
}

int RunLoad(const TBotOptions& options, std::ostream& out, const std::function<bool()>& stop) {
  TClientConfig config;
  config.KeepInbox = false;
  TBotClients bots;
  if (!ConnectBotClients(options, config, bots, out)) {
    out << "load: not every client reached the game; no run" << std::endl;
    CloseBotClients(bots);
    return 2;
  }
  const std::size_t n = bots.Clients.size();
  TLoadTracker tracker(n);
  for (std::size_t i = 0; i < n; ++i) tracker.SetGuid(i, bots.Clients[i]->Guid());

  // Let the join messages settle before measuring.
  bots.Pool.WaitUntil([] { return false; }, 300);

  bool measuring = false;
  uint64_t delivered = 0;
  int64_t lastAt = 0;
  for (std::size_t i = 0; i < n; ++i) {
    bots.Clients[i]->SetOnMessage([&, i](const TReceived& r) {
      if (!measuring) return;
      ++delivered;
      lastAt = std::max(lastAt, r.AtMicros);
      if (auto* m = r.As<msg::PlayerMotion>()) {
        tracker.OnMotion(i, *m, r.AtMicros);
      } else if (auto* a = r.As<msg::KeyDownAck>()) {
        tracker.OnAck(i, true, a->Key, a->ClientValue, r.AtMicros);
      } else if (auto* u = r.As<msg::KeyUpAck>()) {
        tracker.OnAck(i, false, u->Key, u->ClientValue, r.AtMicros);
      }
    });
  }

  TLoadReport report;
  report.Clients = static_cast<int>(n);
  report.Rate = options.Rate;
  report.Seconds = options.Seconds;
  report.DrainMs = options.DrainMs;
  std::optional<double> cpuBefore = ReadProcessCpuSeconds(options.ServerPid);
  if (options.ServerPid && !cpuBefore)
    out << "load: cannot read /proc/" << options.ServerPid << "/stat" << std::endl;

  // Client i sends at start + i * period / n + k * period.
  const int64_t period = static_cast<int64_t>(1e6 / options.Rate);
  const int64_t start = NowMicros();
  const int64_t sendEnd = start + static_cast<int64_t>(options.Seconds * 1e6);
  std::vector<int64_t> next(n);
  for (std::size_t i = 0; i < n; ++i) next[i] = start + period * static_cast<int64_t>(i) / n;
  measuring = true;

  while (!stop()) {
    int64_t now = NowMicros();
    if (now >= sendEnd) break;
    int64_t soonest = sendEnd;
    for (std::size_t i = 0; i < n; ++i) {
      TZQClient& c = *bots.Clients[i];
      // At most a few catch-up sends per client and round.
      for (int burst = 0; burst < 4 && next[i] <= now && next[i] < sendEnd; ++burst) {
        next[i] += period;
        if (c.IsClosed()) continue;
        uint32_t k = tracker.RecordSend(i, NowMicros());
        TLoadEvent e = LoadEventAt(k);
        e.Down ? c.SendKeyDown(e.Key, 0, 0, k) : c.SendKeyUp(e.Key, 0, 0, k);
      }
      soonest = std::min(soonest, next[i]);
    }
    int64_t waitUs = soonest - NowMicros();
    bots.Pool.Poll(waitUs <= 0 ? 0 : static_cast<int>(std::min<int64_t>(waitUs / 1000 + 1, 10)));
  }
  report.Interrupted = stop();

  // Drain: until everything expected has come, or the drain time is over.
  auto complete = [&] {
    TLoadCounts c = tracker.Counts();
    return c.AcksMatched >= c.AcksExpected && c.MotionsMatched >= c.MotionsExpected;
  };
  const int64_t drainEnd = NowMicros() + static_cast<int64_t>(options.DrainMs) * 1000;
  while (!complete() && !stop() && NowMicros() < drainEnd) bots.Pool.Poll(10);
  measuring = false;

  if (cpuBefore) {
    if (auto cpuAfter = ReadProcessCpuSeconds(options.ServerPid))
      report.ServerCpuSeconds = *cpuAfter - *cpuBefore;
  }
  report.Counts = tracker.Counts();
  report.AckLatency = tracker.AckLatency();
  report.FanOutLatency = tracker.FanOutLatency();
  report.Delivered = delivered;
  report.DeliverySeconds = lastAt > start ? (lastAt - start) / 1e6 : 0;
  for (auto& c : bots.Clients) report.ClosedDuringRun += c->IsClosed() ? 1 : 0;
  for (auto& c : bots.Clients) c->SetOnMessage(nullptr);

  for (const auto& line : FormatLoadReport(report)) out << line << "\n";
  out.flush();
  CloseBotClients(bots);
  const TLoadCounts& c = report.Counts;
  bool lost = c.AcksMatched < c.AcksExpected || c.MotionsMatched < c.MotionsExpected;
  return report.ClosedDuringRun > 0 ? 2 : lost ? 1 : 0;
}

}  // namespace zq

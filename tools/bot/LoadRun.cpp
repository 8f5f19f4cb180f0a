#include "tools/bot/LoadRun.h"

#include <algorithm>
#include <cstdio>

#include "platform/ProcessStats.h"
#include "tools/bot/BotClients.h"
#include "tools/load/LatencyText.h"
#include "tools/load/Pacer.h"

namespace zq {
namespace {

std::string Fmt(const char* format, double a, double b = 0, double c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, a, b, c);
  return buf;
}

std::string Latency(const char* what, const THistogram& h) {
  return std::string(what) + ": " + LatencyText(h) + " (" + std::to_string(h.Count()) + " samples)";
}

uint64_t Lost(uint64_t expected, uint64_t matched) {
  return expected > matched ? expected - matched : 0;
}

std::optional<double> CpuSeconds(int pid) {
  if (std::optional<TProcessStats> s = ReadProcessStats(pid)) return s->CpuSeconds;
  return std::nullopt;
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
  TClientPool pool;
  if (!ConnectBotClients(options, config, pool, out)) {
    out << "load: not every client reached the game; no run" << std::endl;
    CloseBotClients(pool);
    return 2;
  }
  const std::size_t n = pool.Size();
  TLoadTracker tracker(n);
  for (std::size_t i = 0; i < n; ++i) tracker.SetGuid(i, pool[i].Guid());

  // Let the join messages settle before measuring.
  pool.WaitUntil([] { return false; }, 300);

  bool measuring = false;
  uint64_t delivered = 0;
  int64_t lastAt = 0;
  for (std::size_t i = 0; i < n; ++i) {
    pool[i].SetOnMessage([&, i](const TReceived& r) {
      if (!measuring) return;
      ++delivered;
      lastAt = std::max(lastAt, r.AtMicros);
      tracker.OnMessage(i, r);
    });
  }

  TLoadReport report;
  report.Clients = static_cast<int>(n);
  report.Rate = options.Rate;
  report.Seconds = options.Seconds;
  report.DrainMs = options.DrainMs;
  std::optional<double> cpuBefore = CpuSeconds(options.ServerPid);
  if (options.ServerPid && !cpuBefore)
    out << "load: cannot read /proc/" << options.ServerPid << "/stat" << std::endl;

  const int64_t start = NowMicros();
  TPacer pacer(n, options.Rate, start, start + static_cast<int64_t>(options.Seconds * 1e6));
  measuring = true;
  SendPaced(
      pool, pacer,
      [&](std::size_t i) {
        const uint32_t k = tracker.RecordSend(i, NowMicros());
        SendKeyEvent(pool[i], LoadEventAt(k));
      },
      stop);
  report.Interrupted = stop();

  // Drain: until everything expected has come, or the drain time is over.
  pool.WaitUntil([&] { return tracker.Complete() || stop(); }, options.DrainMs);
  measuring = false;

  if (cpuBefore) {
    if (auto cpuAfter = CpuSeconds(options.ServerPid))
      report.ServerCpuSeconds = *cpuAfter - *cpuBefore;
  }
  report.Counts = tracker.Counts();
  report.AckLatency = tracker.TakeAckLatency();
  report.FanOutLatency = tracker.TakeFanOutLatency();
  report.Delivered = delivered;
  report.DeliverySeconds = lastAt > start ? (lastAt - start) / 1e6 : 0;
  for (std::size_t i = 0; i < n; ++i) report.ClosedDuringRun += pool[i].IsClosed() ? 1 : 0;
  for (std::size_t i = 0; i < n; ++i) pool[i].SetOnMessage(nullptr);

  for (const auto& line : FormatLoadReport(report)) out << line << "\n";
  out.flush();
  CloseBotClients(pool);
  const bool lost = !tracker.Complete();
  return report.ClosedDuringRun > 0 ? 2 : lost ? 1 : 0;
}

}  // namespace zq

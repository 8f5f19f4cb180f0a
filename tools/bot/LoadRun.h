// The load run of zqo-bot: N clients at the spawn send R key events per second each for
// S seconds while answering beats; then a report of key-to-ack and fan-out latencies, lost
// and unmatched messages, messages delivered per second and the server's CPU per 1000.
// The clients, the pacing and the matching are the load engine's (tools/load/).
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Histogram.h"
#include "tools/bot/BotOptions.h"
#include "tools/load/LoadTracker.h"

namespace zq {

struct TLoadReport {
  int Clients = 0;
  double Rate = 0;
  double Seconds = 0;
  int DrainMs = 0;
  bool Interrupted = false;
  int ClosedDuringRun = 0;
  TLoadCounts Counts;
  THistogram AckLatency;  // microseconds
  THistogram FanOutLatency;
  uint64_t Delivered = 0;      // messages received by all clients from start to end of drain
  double DeliverySeconds = 0;  // from the first send to the last message received
  std::optional<double> ServerCpuSeconds;
};

std::vector<std::string> FormatLoadReport(const TLoadReport& report);

// Returns the exit code: 0 when the run completed, 1 when messages were lost, 2 on failure.
int RunLoad(const TBotOptions& options, std::ostream& out, const std::function<bool()>& stop);

}  // namespace zq

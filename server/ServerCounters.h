// TServerCounters: what the server shell counts for the metrics endpoint: connections
// admitted and refused, clients dropped, heartbeats sent and missed. Reasons are metric
// label values ("full", "beat_timeout"). Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zq {

struct TServerCounters {
  uint64_t Admitted = 0;
  std::map<std::string, uint64_t> Refused;  // by reason: full, paused, per_address
  std::map<std::string, uint64_t> Dropped;  // by reason: beat_timeout, setup_timeout, ...
  uint64_t BeatsSent = 0;
  uint64_t BeatsMissed = 0;  // cycles that found the last BEAT unacknowledged
};

// A reason in words as a label value: "beat timeout" -> "beat_timeout".
std::string ReasonLabel(const std::string& words);

}  // namespace zq

// TFlood: token-less requests to an admin API at a steady rate, the way an attacker on the
// internet sends them: each on a connection of its own ("Connection: close"), from a number of
// loopback source addresses in turn, none waited for before the next is sent. Counts how each
// ended: answered 401, 429 or otherwise, or closed without an answer. One thread.
#pragma once

#include <cstdint>
#include <string>

namespace zq::bench {

struct TFloodOptions {
  uint16_t Port = 8080;
  int Rate = 1000;  // requests a second
  int Sources = 1;  // 127.0.0.1, 127.0.0.2, ...
  double Seconds = 10;
  std::string Path = "/api/status";
};

struct TFloodTally {
  uint64_t Sent = 0;
  uint64_t Unauthorized = 0;  // 401
  uint64_t Blocked = 0;       // 429
  uint64_t Other = 0;         // any other status
  uint64_t Closed = 0;        // closed (or reset) without an answer
  uint64_t Unfinished = 0;    // still open when the time was up
  uint64_t ConnectFailed = 0;
};

// Runs for the options' seconds (and at most 5 s more for the answers still due).
TFloodTally RunFlood(const TFloodOptions& options);

std::string FloodText(const TFloodTally& tally);

}  // namespace zq::bench

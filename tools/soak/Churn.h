// The churn run of zqo-soak. For a time it keeps between Min and Max clients connected to one
// server (the number wanted is drawn anew every 30 s); each joins, walks near the spawn (every
// step is walked back), talks, and after a lifetime of 5 to 30 s leaves in one of three ways:
// ClientGone and close, close without a word, or falling silent on the beat, which the server
// must answer by dropping it (5 missed beats of 3 s). It samples the server's RSS every 10 s,
// and at the end checks that a new client still joins at the spawn and meets no player left
// over from the churn.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/soak/SoakOptions.h"

namespace zq {

struct TRssSample {
  int Second = 0;
  long Kb = 0;
};

struct TChurnReport {
  int Connected = 0;
  int Joined = 0;
  int LeftClean = 0;
  int Vanished = 0;
  int FellSilent = 0;
  int DroppedByServer = 0;  // silent clients the server closed, as it should
  std::vector<TRssSample> Rss;
  std::vector<std::string> Problems;
};

// Runs the churn, printing a status line every 10 s on `out`.
TChurnReport RunChurn(const TSoakOptions& options, std::ostream& out);

}  // namespace zq

// zqo-soak: client churn against a running zqosrv (see bench/README.md, "Soak"), or the check
// of a finished server's log (--check-log). Exit status 0 when nothing went wrong.
#include <iostream>

#include <algorithm>
#include "tools/soak/Churn.h"
#include "tools/soak/LogCheck.h"
#include "tools/soak/SoakOptions.h"

int main(int argc, char** argv) {
  int exitCode = 0;
  std::optional<zq::TSoakOptions> options = zq::ParseSoakOptions(argc, argv, exitCode);
  if (!options) return exitCode;
  if (!options->CheckLog.empty()) {
    const zq::TLogCheck check = zq::CheckServerLogFile(options->CheckLog);
    std::cout << "log: " << check.Connected << " connected, " << check.Disconnected
              << " disconnected, " << check.BeatDrops << " dropped due to beat timeout\n";
    for (const std::string& p : check.Problems) std::cout << "problem: " << p << "\n";
    std::cout << (check.Problems.empty() ? "log: PASS" : "log: FAIL") << std::endl;
    return check.Problems.empty() ? 0 : 1;
  }
  zq::TChurnReport report;
  try {
    report = zq::RunChurn(*options, std::cout);
  } catch (const std::exception& e) {  // a socket that cannot be made, a non-loopback host
    std::cerr << "zqo-soak: " << e.what() << std::endl;
    return 2;
  }
  std::cout << "clients: " << report.Connected << " connected, " << report.Joined << " joined, "
            << report.LeftClean << " left with ClientGone, " << report.Vanished << " vanished, "
            << report.FellSilent << " fell silent, " << report.DroppedByServer
            << " dropped by the server\n";
  if (!report.Rss.empty()) {
    long peak = 0;
    for (const auto& s : report.Rss) peak = std::max(peak, s.Kb);
    std::cout << "server RSS: start " << report.Rss.front().Kb << " kB, max " << peak << " kB, end "
              << report.Rss.back().Kb << " kB\n";
  }
  std::cout << (report.Problems.empty() ? "soak: PASS" : "soak: FAIL") << std::endl;
  return report.Problems.empty() ? 0 : 1;
}

#include "tools/soak/LogCheck.h"

#include <fstream>
#include <map>

namespace zq {
namespace {

// The text after `marker` in `line`, or nothing when the marker is absent.
bool After(const std::string& line, const std::string& marker, std::string& rest) {
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return false;
  rest = line.substr(at + marker.size());
  if (!rest.empty() && rest.back() == '\r') rest.pop_back();
  return true;
}

}  // namespace

TLogCheck CheckServerLog(const std::vector<std::string>& lines) {
  TLogCheck check;
  std::map<std::string, int> open;  // address:port -> connections without their disconnect
  int shutdownAt = -1, gameManagerAt = -1, dispatchAt = -1;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const std::string& line = lines[static_cast<std::size_t>(i)];
    std::string peer;
    if (After(line, " Connected from ", peer)) {
      ++check.Connected;
      ++open[peer];
    } else if (After(line, " Disconnected ", peer)) {
      ++check.Disconnected;
      if (open[peer] == 0)
        check.Problems.push_back("line " + std::to_string(i + 1) + ": Disconnected " + peer +
                                 " without its Connected line");
      else
        --open[peer];
    } else if (line.find(" dropped due to beat timeout.") != std::string::npos) {
      ++check.BeatDrops;
    } else if (line.find(" Server shutdown.") != std::string::npos) {
      shutdownAt = i;
    } else if (line.find(" SGM: GameManager shutdown.") != std::string::npos) {
      gameManagerAt = i;
    } else if (line.find(" DM: DispatchManager shutdown.") != std::string::npos) {
      dispatchAt = i;
    }
  }
  for (const auto& [peer, count] : open)
    if (count > 0)
      check.Problems.push_back("Connected from " + peer + " without its Disconnected line" +
                               (count > 1 ? " (" + std::to_string(count) + " times)" : ""));
  if (shutdownAt < 0) check.Problems.push_back("no \"Server shutdown.\" line");
  if (gameManagerAt < shutdownAt || gameManagerAt < 0)
    check.Problems.push_back("no \"SGM: GameManager shutdown.\" line after \"Server shutdown.\"");
  if (dispatchAt < shutdownAt || dispatchAt < 0)
    check.Problems.push_back(
        "no \"DM: DispatchManager shutdown.\" line after \"Server shutdown.\"");
  return check;
}

TLogCheck CheckServerLogFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    TLogCheck check;
    check.Problems.push_back("cannot read " + path);
    return check;
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return CheckServerLog(lines);
}

}  // namespace zq

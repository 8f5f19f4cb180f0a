// The check of a finished server's log after a soak: every "Connected from A:P" is followed by
// its "Disconnected A:P" (a port may be used again later), and the shutdown wrote "Server
// shutdown." and then the game manager's and the dispatch thread's shutdown lines.
#pragma once

#include <string>
#include <vector>

namespace zq {

struct TLogCheck {
  int Connected = 0;
  int Disconnected = 0;
  int BeatDrops = 0;  // "dropped due to beat timeout."
  std::vector<std::string> Problems;
};

TLogCheck CheckServerLog(const std::vector<std::string>& lines);
// The same on a file; an unreadable file is a problem.
TLogCheck CheckServerLogFile(const std::string& path);

}  // namespace zq

#include "tools/bot/ProcessCpu.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

namespace zq {

std::optional<double> ParseProcStatCpuSeconds(std::string_view text, long ticksPerSecond) {
  // The command name in parentheses may hold spaces: count fields after the last ')'.
  std::size_t close = text.rfind(')');
  if (close == std::string_view::npos || ticksPerSecond <= 0) return std::nullopt;
  std::string_view rest = text.substr(close + 1);
  // Fields after ')' start with field 3 (state); utime is field 14, stime field 15.
  unsigned long long values[2] = {0, 0};
  int field = 2, got = 0;
  std::size_t i = 0;
  while (i < rest.size() && got < 2) {
    while (i < rest.size() && rest[i] == ' ') ++i;
    std::size_t start = i;
    while (i < rest.size() && rest[i] != ' ' && rest[i] != '\n') ++i;
    if (start == i) break;
    ++field;
    if (field == 14 || field == 15) {
      auto r = std::from_chars(rest.data() + start, rest.data() + i, values[got]);
      if (r.ec != std::errc() || r.ptr != rest.data() + i) return std::nullopt;
      ++got;
    }
  }
  if (got < 2) return std::nullopt;
  return static_cast<double>(values[0] + values[1]) / static_cast<double>(ticksPerSecond);
}

std::optional<double> ReadProcessCpuSeconds(int pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  if (!in) return std::nullopt;
  std::stringstream ss;
  ss << in.rdbuf();
  return ParseProcStatCpuSeconds(ss.str(), ::sysconf(_SC_CLK_TCK));
}

}  // namespace zq

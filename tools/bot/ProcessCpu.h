// CPU time of another process, from /proc/PID/stat (user + system).
#pragma once

#include <optional>
#include <string_view>

namespace zq {

// Seconds of CPU the process has used, or nothing when it cannot be read.
std::optional<double> ReadProcessCpuSeconds(int pid);
// The same from the text of a stat file; `ticksPerSecond` converts its clock ticks.
std::optional<double> ParseProcStatCpuSeconds(std::string_view statText, long ticksPerSecond);

}  // namespace zq
